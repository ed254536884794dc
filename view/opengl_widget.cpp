// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "opengl_widget.h"

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformintegration.h>

#include <QFileInfo>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QVector3D>

namespace {

constexpr int positionLocation = 0;

// Only a regular file is read: opening a FIFO or a device would block or
// never end, so anything else counts as a missing shader.
bool addShaderFile(QOpenGLShaderProgram &program, QOpenGLShader::ShaderType type,
                   const QString &path)
{
    return QFileInfo(path).isFile() && program.addShaderFromSourceFile(type, path);
}

} // namespace

OpenGLWidget::OpenGLWidget()
{
    QSurfaceFormat format;
    format.setSamples(8);
    setFormat(format);

    setAccessibleName(tr("Домик"));
}

bool OpenGLWidget::isSupported()
{
    // A QOpenGLWidget is composed into its window on the GPU, which some
    // platforms (offscreen among them) cannot do even where they offer a
    // context; Qt's own widget checks the same capability.
    if (!QGuiApplicationPrivate::platformIntegration()->hasCapability(
                QPlatformIntegration::RhiBasedRendering))
        return false;
    // A platform may offer OpenGL and still fail to make a context, as where
    // the driver cannot be loaded.
    QOpenGLContext probe;
    if (!probe.create())
        return false;
    // The view's shaders and Qt's framebuffer for the widget need OpenGL 2
    // or OpenGL ES 2. A driver of OpenGL 1.x, such as Windows' own software
    // OpenGL 1.1, lacks their functions, and the first frame would call
    // through null pointers.
    return probe.format().majorVersion() >= 2;
}

OpenGLWidget::~OpenGLWidget()
{
    releaseGlResources();
}

void OpenGLWidget::setParamsSlot(int x, int y)
{
    m_x = x;
    m_y = y;
    // Qt tells a screen reader of the new description.
    setAccessibleDescription(tr("Домик стоит в точке (%1, %2)").arg(x).arg(y));
    update();
}

void OpenGLWidget::initializeGL()
{
    // The framework calls this again with a new context when the widget
    // moves to another top-level window; the old context's objects go first.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed,
            this, &OpenGLWidget::releaseGlResources);

    initializeOpenGLFunctions();
    glClearColor(backgroundColor.x(), backgroundColor.y(), backgroundColor.z(), 1.0f);

    m_program = std::make_unique<QOpenGLShaderProgram>();
    const bool vertexShaderAdded = addShaderFile(*m_program, QOpenGLShader::Vertex,
                                                 "assets/shaders/default.vert");
    const bool fragmentShaderAdded = addShaderFile(*m_program, QOpenGLShader::Fragment,
                                                   "assets/shaders/default.frag");
    m_program->bindAttributeLocation("aPosition", positionLocation);
    const bool linked = m_program->link();
    m_programComplete = vertexShaderAdded && fragmentShaderAdded && linked;
    m_program->bind();

    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(unitGeometry.data(), int(sizeof(unitGeometry)));

    m_program->setAttributeBuffer(positionLocation, GL_FLOAT, 0, 2, 0);
    m_program->enableAttributeArray(positionLocation);

    // Scene units: x 0..200 to the right, y 0..200 downwards.
    QMatrix4x4 projection;
    projection.ortho(0.0f, 200.0f, 200.0f, 0.0f, 1.0f, -1.0f);
    QMatrix4x4 view;
    view.lookAt(QVector3D(0, 0, 1), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
    m_projViewMatrix = projection * view;

    m_uMvpMatrixLocation = m_program->uniformLocation("uMvpMatrix");
    m_uColorLocation = m_program->uniformLocation("uColor");

    m_shapes = houseScene();
}

void OpenGLWidget::paintGL()
{
    // Qt 6.4 truncates the viewport to width() * dpr while it rounds the
    // framebuffer's size, which leaves a row or column uncovered at scales
    // such as 1.25. Cover the framebuffer as Qt sized it.
    const QSize framebufferSize = size() * devicePixelRatio();
    glViewport(0, 0, framebufferSize.width(), framebufferSize.height());
    glClear(GL_COLOR_BUFFER_BIT);

    // A compatibility context links a program that lacks a shader stage and
    // runs fixed-function code in its place, which paints the raw unit
    // geometry in white. Without both shaders only the background shows.
    if (m_shapes.isEmpty() || !m_programComplete)
        return;

    for (const Shape &shape : std::as_const(m_shapes)) {
        m_modelMatrix.setToIdentity();
        m_modelMatrix.translate(shape.x + float(m_x), shape.y + float(m_y));
        m_modelMatrix.rotate(shape.angle, QVector3D(0, 0, 1));
        m_modelMatrix.scale(shape.scaleX, shape.scaleY);
        m_mvpMatrix = m_projViewMatrix * m_modelMatrix;

        m_program->bind();
        m_program->setUniformValue(m_uMvpMatrixLocation, m_mvpMatrix);
        m_program->setUniformValue(m_uColorLocation, shape.color);
        glDrawArrays(GL_TRIANGLE_STRIP, shape.firstVertex, shape.vertexCount);
    }
}

void OpenGLWidget::releaseGlResources()
{
    if (!m_program)
        return;
    makeCurrent();
    m_vertexBuffer.destroy();
    m_program.reset();
    m_programComplete = false;
    doneCurrent();
    disconnect(context(), &QOpenGLContext::aboutToBeDestroyed,
               this, &OpenGLWidget::releaseGlResources);
}
