#include "view/opengl_widget.h"

#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QVector3D>

OpenGLWidget::OpenGLWidget()
{
    QSurfaceFormat format;
    format.setSamples(8);
    setFormat(format);
}

OpenGLWidget::~OpenGLWidget()
{
    releaseGlResources();
}

void OpenGLWidget::setParamsSlot(int x, int y)
{
    m_x = x;
    m_y = y;
    update();
}

void OpenGLWidget::initializeGL()
{
    // The framework calls this again with a new context when the widget
    // moves to another top-level window; the old context's objects go first.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed,
            this, &OpenGLWidget::releaseGlResources);

    initializeOpenGLFunctions();
    glClearColor(0.77f, 0.93f, 0.95f, 1.0f);

    m_program = std::make_unique<QOpenGLShaderProgram>();
    const bool vertexShaderAdded = m_program->addShaderFromSourceFile(
            QOpenGLShader::Vertex, "assets/shaders/default.vert");
    const bool fragmentShaderAdded = m_program->addShaderFromSourceFile(
            QOpenGLShader::Fragment, "assets/shaders/default.frag");
    m_program->bindAttributeLocation("aPosition", 0);
    const bool linked = m_program->link();
    m_programComplete = vertexShaderAdded && fragmentShaderAdded && linked;
    m_program->bind();

    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_vertexBuffer.allocate(unitGeometry.data(), int(sizeof(unitGeometry)));

    m_program->setAttributeBuffer(0, GL_FLOAT, 0, 2, 0);
    m_program->enableAttributeArray(0);

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
    doneCurrent();
    disconnect(context(), &QOpenGLContext::aboutToBeDestroyed,
               this, &OpenGLWidget::releaseGlResources);
}
