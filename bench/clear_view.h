// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_BENCH_CLEAR_VIEW_H
#define KELVARA_BENCH_CLEAR_VIEW_H

#include <QOpenGLFunctions>
#include <QOpenGLWidget>

// A view with the house view's 8-sample format that only clears: the cost
// of the GL widget itself, without any shader.
class ClearView : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    ClearView();

protected:
    void initializeGL() override;
    void paintGL() override;
};

#endif
