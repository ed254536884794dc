// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "test_support.h"
#include "opengl_widget.h"

#include <QTest>

#include <climits>

namespace {

// Counts the frames the view draws, so that repaint scheduling can be seen.
class CountingView : public OpenGLWidget
{
public:
    int paints = 0;

protected:
    void paintGL() override
    {
        ++paints;
        OpenGLWidget::paintGL();
    }
};

} // namespace

// Runs at any QT_SCALE_FACTOR: every point is given in scene units.
class HouseViewTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private:
    static QImage frameAt(int x, int y, QSize size = QSize(200, 200))
    {
        OpenGLWidget view;
        view.resize(size);
        view.setParamsSlot(x, y);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return {};
        return view.grabFramebuffer();
    }

    // Delivers every pending event, so that a repaint still due would run now.
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    static void verifyColor(const QImage &frame, double x, double y, const QColor &expected)
    {
        const QColor actual = sceneColor(frame, x, y);
        QVERIFY2(sameColor(actual, expected),
                 qPrintable(QStringLiteral("at (%1, %2): %3, expected %4")
                                    .arg(x).arg(y).arg(actual.name(), expected.name())));
    }

private slots:
    void framebufferFollowsTheScaleFactor()
    {
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        OpenGLWidget view;
        view.resize(200, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.devicePixelRatio(), scale);
        // A window frame may leave the view a pixel short of the size asked for.
        QCOMPARE(view.grabFramebuffer().size(), view.size() * scale);
    }

    // At fractional scales the framebuffer's size is rounded; the scene must
    // still cover it to the last row and column. The body, moved against the
    // top and right edges, must reach them. 203 by 202 rounds up at 1.25,
    // 1.5 and 1.75 on one axis at least.
    void sceneReachesTheTopAndRightEdges()
    {
        const QImage frame = frameAt(100, 0, QSize(203, 202));
        QVERIFY(!frame.isNull());
        const int right = frame.width() - 1;
        for (int x = frame.width() * 6 / 10; x <= right; ++x)
            QVERIFY2(sameColor(frame.pixelColor(x, 0), green), qPrintable(QString::number(x)));
        for (int y = 0; y < frame.height() * 4 / 10; ++y)
            QVERIFY2(sameColor(frame.pixelColor(right, y), green), qPrintable(QString::number(y)));
    }

    void houseAtTheStartOffsetShowsEveryPartInItsLayer()
    {
        const QImage frame = frameAt(75, 100);
        QVERIFY(!frame.isNull());

        verifyColor(frame, 125, 70, brown);   // roof, under the apex
        verifyColor(frame, 80, 95, brown);    // roof, left part
        verifyColor(frame, 68, 99, brown);    // roof overhang, just above the body's top
        verifyColor(frame, 68, 101, background);
        verifyColor(frame, 125, 99, brown);   // roof base meets the body's top edge
        verifyColor(frame, 125, 101, green);
        verifyColor(frame, 125, 45, background);   // above the apex

        verifyColor(frame, 85, 190, green);   // body, left of the window
        verifyColor(frame, 170, 105, green);
        verifyColor(frame, 150, 199, green);  // body reaches the view's bottom edge
        verifyColor(frame, 180, 150, background);

        verifyColor(frame, 100, 125, black);  // window over the body
        verifyColor(frame, 110, 125, black);  // undivided above the bar: a T, not a cross
        verifyColor(frame, 100, 140, white);  // horizontal bar over the window
        verifyColor(frame, 122, 140, white);
        verifyColor(frame, 110, 160, white);  // vertical bar over the window
        verifyColor(frame, 104, 160, black);
        verifyColor(frame, 116, 160, black);
        verifyColor(frame, 92, 160, green);   // body beside the window
        verifyColor(frame, 128, 160, green);
        verifyColor(frame, 110, 172, green);  // below the window

        verifyColor(frame, 30, 30, background);

        // The roof's slopes are antialiased: along the left slope some pixel
        // lies between the background and the roof colour.
        bool blended = false;
        for (double x = 66; x < 125 && !blended; x += 0.25) {
            const QColor c = sceneColor(frame, x, 80);
            blended = c.red() > brown.red() + 1 && c.red() < background.red() - 1;
        }
        QVERIFY(blended);
    }

    void houseAtTheOriginHidesItsRoof()
    {
        const QImage frame = frameAt(0, 0);
        verifyColor(frame, 5, 5, green);
        verifyColor(frame, 95, 95, green);
        verifyColor(frame, 60, 0, green);     // top row: body, no roof above it
        verifyColor(frame, 35, 30, black);
        verifyColor(frame, 105, 1, background);   // where the roof would overhang
        verifyColor(frame, 150, 50, background);
        verifyColor(frame, 50, 150, background);
    }

    void negativeOffsetCutsTheHouseAtTheViewEdges()
    {
        // Body x -40..60, y -30..70; window x -20..10, y -10..40.
        const QImage frame = frameAt(-40, -30);
        verifyColor(frame, 5, 5, black);
        verifyColor(frame, 5, 10, white);
        verifyColor(frame, 5, 25, black);
        verifyColor(frame, 30, 30, green);
        verifyColor(frame, 30, 65, green);
        verifyColor(frame, 65, 30, background);
        verifyColor(frame, 30, 75, background);
    }

    void offsetsBeyondTheViewLeaveOnlyTheBackground_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("right of the view") << 200 << 0;
        QTest::newRow("below the view") << 0 << 250;
        QTest::newRow("left of the view") << -110 << 100;
        QTest::newRow("largest int") << INT_MAX << INT_MAX;
        QTest::newRow("smallest int") << INT_MIN << INT_MIN;
        QTest::newRow("mixed extremes") << INT_MIN << INT_MAX;
    }

    void offsetsBeyondTheViewLeaveOnlyTheBackground()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        const QImage frame = frameAt(x, y);
        QVERIFY(!frame.isNull());
        QCOMPARE(pixelsOtherThanBackground(frame), 0);
    }

    void resizedViewStretchesTheSceneOnBothAxes()
    {
        OpenGLWidget view;
        view.resize(200, 200);
        view.setParamsSlot(0, 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.grabFramebuffer();

        view.resize(300, 100);
        QTRY_COMPARE(view.size(), QSize(300, 100));
        const QImage frame = view.grabFramebuffer();
        QCOMPARE(frame.size(), QSize(300, 100) * view.devicePixelRatio());

        // The body covers the left half and the top half, whatever the aspect.
        verifyColor(frame, 93, 90, green);
        verifyColor(frame, 107, 90, background);
        verifyColor(frame, 50, 95, green);
        verifyColor(frame, 50, 105, background);
        verifyColor(frame, 35, 30, black);
    }

    void repaintsFollowEveryOffsetAndUseTheLastOne()
    {
        CountingView view;
        view.resize(200, 200);
        view.setParamsSlot(75, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.paints > 0);
        settle();

        view.paints = 0;
        view.setParamsSlot(75, 100);
        QTRY_COMPARE(view.paints, 1);   // an unchanged pair still repaints

        view.paints = 0;
        view.setParamsSlot(10, 10);
        view.setParamsSlot(20, 20);
        view.setParamsSlot(0, 0);
        QTRY_COMPARE(view.paints, 1);
        settle();
        QCOMPARE(view.paints, 1);        // one repaint for the three calls

        QCOMPARE(describedOffset(view.accessibleDescription()), QPoint(0, 0));
        verifyColor(view.grabFramebuffer(), 5, 5, green);
    }
};

QTEST_MAIN(HouseViewTest)
#include "tst_house_view.moc"
