// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_OPENGL_WIDGET_H
#define KELVARA_OPENGL_WIDGET_H

#include "shape.h"

#include <QList>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QVector3D>

#include <memory>

// Draws the house scene on a light sky-blue background, moved by the
// offset that setParamsSlot() receives. The scene square 0..200 on both
// axes is stretched over the whole widget.
class OpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    OpenGLWidget();
    ~OpenGLWidget() override;

    // False where the platform gives no OpenGL context, or one older than
    // OpenGL 2. A window holding the view there shows nothing: Qt 6.4 to 6.7
    // end the program on its first frame, and Qt 6.8 and later leave the
    // whole window black or end it too.
    static bool isSupported();

    static constexpr QVector3D backgroundColor { 0.77f, 0.93f, 0.95f };

public slots:
    void setParamsSlot(int x, int y);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void releaseGlResources();

    int m_x = 0;
    int m_y = 0;
    // Rebuilt for every new context: a program object cannot be moved
    // from one context to another.
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    bool m_programComplete = false;
    QOpenGLBuffer m_vertexBuffer;
    QMatrix4x4 m_modelMatrix;
    QMatrix4x4 m_mvpMatrix;
    QMatrix4x4 m_projViewMatrix;
    int m_uMvpMatrixLocation = -1;
    int m_uColorLocation = -1;
    QList<Shape> m_shapes;
};

#endif
