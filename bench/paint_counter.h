// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_BENCH_PAINT_COUNTER_H
#define KELVARA_BENCH_PAINT_COUNTER_H

#include <QEvent>
#include <QObject>

// Installed as an event filter on a widget, counts the paint events it gets.
// A QOpenGLWidget runs paintGL once for each of them.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

#endif
