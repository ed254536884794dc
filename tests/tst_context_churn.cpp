// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "test_support.h"
#include "view/opengl_widget.h"

#include <QHBoxLayout>
#include <QTest>

// Each move of the view into another top-level window gives it a new
// context, and with it a new initializeGL.
class ContextChurnTest : public QObject
{
    Q_OBJECT

private slots:
    void everyNewContextRebuildsTheSameScene()
    {
        QWidget first;
        QWidget second;
        auto *firstLayout = new QHBoxLayout(&first);
        auto *secondLayout = new QHBoxLayout(&second);
        auto *view = new OpenGLWidget;
        view->setFixedSize(200, 200);
        view->setParamsSlot(75, 100);
        firstLayout->addWidget(view);
        first.show();
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(QTest::qWaitForWindowExposed(&second));

        const QImage before = view->grabFramebuffer();
        const QOpenGLContext *previousContext = view->context();
        QCOMPARE(view->shapes().size(), 5);
        QVERIFY(pixelsOtherThanBackground(before) > 10000);

        for (int move = 1; move <= 100; ++move) {
            (move % 2 == 1 ? secondLayout : firstLayout)->addWidget(view);
            QTRY_VERIFY(view->isVisible() && view->context());
            const QImage after = view->grabFramebuffer();
            QVERIFY2(view->context() != previousContext, qPrintable(QString::number(move)));
            previousContext = view->context();
            QCOMPARE(view->shapes().size(), 5);
            QCOMPARE(after.size(), before.size());
            QCOMPARE(interiorPixelsThatDiffer(before, after), 0);
        }
    }
};

QTEST_MAIN(ContextChurnTest)
#include "tst_context_churn.moc"
