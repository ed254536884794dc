// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_BENCH_PAINTER_VIEW_H
#define KELVARA_BENCH_PAINTER_VIEW_H

#include "shape.h"

#include <QList>
#include <QWidget>

// The house drawn with QPainter on a plain widget, the way many would write
// the view without OpenGL: same scene, same colours, same stretching.
class PainterView : public QWidget
{
    Q_OBJECT

public:
    PainterView();

public slots:
    void setParamsSlot(int x, int y);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_x = 0;
    int m_y = 0;
    QList<Shape> m_shapes;
};

#endif
