// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "opengl_widget.h"
#include "test_support.h"

#include <QHBoxLayout>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QTest>

namespace {

// Counts what the last frame drew: the house is five triangle strips of nine
// triangles in all, and a scene built twice over would draw eighteen.
class PrimitiveCountingView : public OpenGLWidget
{
public:
    GLuint lastFramePrimitives = 0;

protected:
    void paintGL() override
    {
        QOpenGLExtraFunctions *gl = context()->extraFunctions();
        GLuint query = 0;
        gl->glGenQueries(1, &query);
        gl->glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        OpenGLWidget::paintGL();
        gl->glEndQuery(GL_PRIMITIVES_GENERATED);
        gl->glGetQueryObjectuiv(query, GL_QUERY_RESULT, &lastFramePrimitives);
        gl->glDeleteQueries(1, &query);
    }
};

} // namespace

// Each move of the view into another top-level window gives it a new
// context, and with it a new initializeGL.
class ContextChurnTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private slots:
    void everyNewContextRebuildsTheSameScene()
    {
        QWidget first;
        QWidget second;
        auto *firstLayout = new QHBoxLayout(&first);
        auto *secondLayout = new QHBoxLayout(&second);
        auto *view = new PrimitiveCountingView;
        view->setFixedSize(200, 200);
        view->setParamsSlot(75, 100);
        firstLayout->addWidget(view);
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(QTest::qWaitForWindowExposed(&second));

        const QImage before = view->grabFramebuffer();
        const QOpenGLContext *previousContext = view->context();
        QCOMPARE(view->lastFramePrimitives, GLuint(9));
        QVERIFY(pixelsOtherThanBackground(before) > 10000);

        for (int move = 1; move <= 100; ++move) {
            (move % 2 == 1 ? secondLayout : firstLayout)->addWidget(view);
            QTRY_VERIFY(view->isVisible() && view->context());
            const QImage after = view->grabFramebuffer();
            QVERIFY2(view->context() != previousContext, qPrintable(QString::number(move)));
            previousContext = view->context();
            QCOMPARE(view->lastFramePrimitives, GLuint(9));
            QCOMPARE(after.size(), before.size());
            QCOMPARE(interiorPixelsThatDiffer(before, after), 0);
        }
    }
};

QTEST_MAIN(ContextChurnTest)
#include "tst_context_churn.moc"
