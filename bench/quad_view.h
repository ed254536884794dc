// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_BENCH_QUAD_VIEW_H
#define KELVARA_BENCH_QUAD_VIEW_H

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>

// The least a shader-drawing view can do: the same 8-sample format as the
// house view, one trivial program built from inline source, one quad.
class QuadView : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    QuadView();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    QOpenGLShaderProgram m_program;
    QOpenGLBuffer m_vertexBuffer;
};

#endif
