// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "quad_view.h"

#include <QSurfaceFormat>

#include <array>

QuadView::QuadView()
{
    QSurfaceFormat format;
    format.setSamples(8);
    setFormat(format);
}

void QuadView::initializeGL()
{
    initializeOpenGLFunctions();
    glClearColor(0.77f, 0.93f, 0.95f, 1.0f);

    m_program.addShaderFromSourceCode(QOpenGLShader::Vertex,
                                      "attribute vec2 aPosition;\n"
                                      "void main() { gl_Position = vec4(aPosition, 0.0, 1.0); }\n");
    m_program.addShaderFromSourceCode(QOpenGLShader::Fragment,
                                      "void main() { gl_FragColor = vec4(0.0, 0.7, 0.0, 1.0); }\n");
    m_program.bindAttributeLocation("aPosition", 0);
    m_program.link();
    m_program.bind();

    static constexpr std::array<float, 8> quad = { -0.5f, -0.5f, 0.5f, -0.5f,
                                                   -0.5f, 0.5f, 0.5f, 0.5f };
    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(quad.data(), int(sizeof(quad)));
    m_program.setAttributeBuffer(0, GL_FLOAT, 0, 2, 0);
    m_program.enableAttributeArray(0);
}

void QuadView::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}
