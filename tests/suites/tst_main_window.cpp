// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "main_window.h"
#include "test_support.h"
#include "opengl_widget.h"

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QtWidgets/private/qapplication_p.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScopeGuard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <climits>

#include <malloc.h>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Resident memory of this process in KiB: its working set.
qint64 residentKib()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return qint64(counters.WorkingSetSize / 1024);
}

// Bytes in use in the C runtime's heap, which new and malloc draw from.
qint64 heapInUse()
{
    qint64 used = 0;
    _HEAPINFO entry = {};
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            used += qint64(entry._size);
    return used;
}
#else
// Resident memory of this process in KiB, from Linux's /proc.
qint64 residentKib()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

qint64 heapInUse()
{
    return qint64(mallinfo2().uordblks);
}
#endif

// Families carry no mark of serifs, so serif faces are known by name.
bool isSerifFace(const QString &family)
{
    static const QStringList serifFaces = { "Times New Roman", "C059", "Nimbus Roman", "Georgia",
                                            "Cambria" };
    return serifFaces.contains(family)
            || (family.contains("Serif") && !family.contains("Sans"));
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private:
    struct Form
    {
        QLineEdit *x;
        QLineEdit *y;
        QPushButton *apply;
        OpenGLWidget *view;
    };

    static Form formOf(MainWindow &window)
    {
        const auto edits = window.findChildren<QLineEdit *>();
        Q_ASSERT(edits.size() == 2);
        return { edits.at(0), edits.at(1), window.findChild<QPushButton *>(),
                 window.findChild<OpenGLWidget *>() };
    }

private slots:
    void formHoldsItsTextsAndSizes()
    {
        MainWindow window;
        const Form form = formOf(window);

        QCOMPARE(window.windowTitle(), QStringLiteral("Kelvara"));
        QCOMPARE(window.size(), QSize(312, 400));
        QCOMPARE(window.minimumSize(), QSize(312, 400));
        QCOMPARE(window.maximumSize(), QSize(312, 400));
        const QList<QSize> iconSizes = { { 16, 16 }, { 24, 24 }, { 32, 32 }, { 48, 48 },
                                         { 64, 64 } };
        QCOMPARE(window.windowIcon().availableSizes(), iconSizes);

        QStringList labels;
        for (const QLabel *label : window.findChildren<QLabel *>())
            labels << label->text();
        QCOMPARE(labels, QStringList({ "Введите координаты домика:", "x:", "y:" }));
        const QLabel *prompt = window.findChild<QLabel *>();
        QCOMPARE(prompt->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(prompt->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

        QCOMPARE(form.x->text(), QStringLiteral("75"));
        QCOMPARE(form.y->text(), QStringLiteral("100"));
        for (const QLineEdit *edit : { form.x, form.y }) {
            QVERIFY(!edit->validator());
            QVERIFY(edit->inputMask().isEmpty());
            QCOMPARE(edit->maxLength(), 32767);
        }

        QCOMPARE(form.apply->text(), QStringLiteral("Применить"));
        QCOMPARE(form.apply->minimumSize(), QSize(100, 30));
        QCOMPARE(form.apply->maximumSize(), QSize(100, 30));
    }

    void serifFontGoesToTheSixFormWidgetsOnly()
    {
        MainWindow window;
        QList<QWidget *> withOwnFont;
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            if (!widget->testAttribute(Qt::WA_SetFont))
                continue;
            withOwnFont << widget;
            QCOMPARE(widget->font().family(), QStringLiteral("serif"));
            const QString face = QFontInfo(widget->font()).family();
            QVERIFY2(isSerifFace(face), qPrintable(face));
            QCOMPARE(widget->font().pointSize(), 11);
            QVERIFY(!widget->font().italic());
        }
        QCOMPARE(withOwnFont.size(), 6);
        QCOMPARE(window.findChildren<QLabel *>().size(), 3);
        for (QWidget *widget : withOwnFont)
            QVERIFY(qobject_cast<QLabel *>(widget) || qobject_cast<QLineEdit *>(widget)
                    || qobject_cast<QPushButton *>(widget));
        QVERIFY(!window.testAttribute(Qt::WA_SetFont));
        QCOMPARE(formOf(window).view->font(), QApplication::font());
    }

    void layoutCentresTheButtonAboveTheView()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Form form = formOf(window);

        QCOMPARE(window.size(), QSize(312, 400));
        QVERIFY(qAbs(form.apply->geometry().center().x() - window.width() / 2) <= 1);
        QVERIFY(form.x->geometry().bottom() < form.apply->geometry().top());
        QVERIFY(form.apply->geometry().bottom() < form.view->geometry().top());
        // The view takes the rest of the window, down to the bottom margin.
        QVERIFY(form.view->height() > 250);
        QVERIFY(form.view->width() > 280);
    }

    // What a screen reader is told of each part of the form.
    void assistiveTechnologyNamesEveryPart_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::newRow("x field") << "x" << "x:" << "";
        QTest::newRow("y field") << "y" << "y:" << "";
        QTest::newRow("apply button") << "apply" << "Применить" << "";
        QTest::newRow("house view") << "view" << "Домик" << "Домик стоит в точке (75, 100)";
    }

    void assistiveTechnologyNamesEveryPart()
    {
        QFETCH(QString, part);
        QFETCH(QString, name);
        QFETCH(QString, description);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Form form = formOf(window);
        const QHash<QString, QWidget *> parts = {
            { "x", form.x }, { "y", form.y }, { "apply", form.apply }, { "view", form.view } };

        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(parts.value(part));
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(accessible->text(QAccessible::Description), description);
    }

    // Tab from x to y to the button, Space applies; read back as a screen
    // reader would, and told as it would be.
    void keyboardAloneMovesTheHouse()
    {
        static QList<QObject *> describedAnew;
        describedAnew.clear();
        QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
            if (event->type() == QAccessible::DescriptionChanged)
                describedAnew << event->object();
        });
        // As when a screen reader runs: Qt's own accessibility tests switch
        // the platform's bridge on the same way.
        QPlatformAccessibility *bridge = QGuiApplicationPrivate::platformIntegration()->accessibility();
        QVERIFY(bridge);
        bridge->setActive(true);
        const auto restore = qScopeGuard([bridge] {
            QAccessible::installUpdateHandler(nullptr);
            bridge->setActive(false);
        });

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        // A compositor without a seat, such as weston's headless one,
        // activates no window, whatever Qt expects of it; keyboard focus
        // follows Qt's active window.
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
        QApplication::setActiveWindow(&window);
#else
        QApplicationPrivate::setActiveWindow(&window);
#endif
        QTRY_VERIFY(window.isActiveWindow());
        const Form form = formOf(window);
        QAccessibleInterface *view = QAccessible::queryAccessibleInterface(form.view);

        form.x->setFocus();
        QTRY_VERIFY(form.x->hasFocus());
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::SelectAll);
        QTest::keyClicks(QApplication::focusWidget(), "20");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(form.y->hasFocus());
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::SelectAll);
        QTest::keyClicks(QApplication::focusWidget(), "-30");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(form.apply->hasFocus());
        QCOMPARE(view->text(QAccessible::Description), QStringLiteral("Домик стоит в точке (75, 100)"));

        describedAnew.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(describedOffset(form.view->accessibleDescription()), QPoint(20, -30));
        QCOMPARE(view->text(QAccessible::Description), QStringLiteral("Домик стоит в точке (20, -30)"));
        QCOMPARE(describedAnew, QList<QObject *>({ form.view }));

        form.x->setText("7");
        QTest::mouseClick(form.apply, Qt::LeftButton);
        QCOMPARE(view->text(QAccessible::Description), QStringLiteral("Домик стоит в точке (7, -30)"));
        QCOMPARE(describedAnew.size(), 2);
    }

    void viewHoldsTheStartOffsetBeforeItIsShown()
    {
        MainWindow window;
        const OpenGLWidget *view = formOf(window).view;
        QVERIFY(!view->isVisible());
        QCOMPARE(describedOffset(view->accessibleDescription()), QPoint(75, 100));
    }

    void startUpDrawsTheHouseAtTheStartOffset()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage frame = formOf(window).view->grabFramebuffer();
        QVERIFY(sameColor(sceneColor(frame, 125, 70), brown));
        QVERIFY(sameColor(sceneColor(frame, 125, 180), green));
        QVERIFY(sameColor(sceneColor(frame, 100, 125), black));
        QVERIFY(sameColor(sceneColor(frame, 30, 30), background));
    }

    void applySendsTheParsedFields_data()
    {
        QTest::addColumn<QString>("xText");
        QTest::addColumn<QString>("yText");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");

        QTest::newRow("negative passes through") << "20" << "-30" << 20 << -30;
        QTest::newRow("letters") << "abc" << "50" << 0 << 50;
        QTest::newRow("empty") << "" << "50" << 0 << 50;
        QTest::newRow("digits then letters") << "12abc" << "7" << 0 << 7;
        QTest::newRow("2^32") << "4294967296" << "1" << 0 << 1;
        QTest::newRow("2^31") << "2147483648" << "1" << 0 << 1;
        QTest::newRow("below -2^31") << "-2147483649" << "1" << 0 << 1;
        QTest::newRow("-2^31 kept") << "-2147483648" << "2147483647" << INT_MIN << INT_MAX;
        QTest::newRow("spaces around digits") << " 42 " << "\t7" << 42 << 7;
        QTest::newRow("plus sign") << "+7" << "007" << 7 << 7;
        QTest::newRow("not base 10") << "0x10" << "1e3" << 0 << 0;
        QTest::newRow("digits of other scripts") << "٣" << "１２" << 0 << 0;
        QTest::newRow("long paste") << QString(100000, '9') << QString(5000, ' ') + "3" << 0 << 3;
    }

    void applySendsTheParsedFields()
    {
        QFETCH(QString, xText);
        QFETCH(QString, yText);
        QFETCH(int, x);
        QFETCH(int, y);

        MainWindow window;
        const Form form = formOf(window);
        QSignalSpy spy(&window, &MainWindow::setParams);
        form.x->setText(xText);
        form.y->setText(yText);
        QTest::mouseClick(form.apply, Qt::LeftButton);

        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), QVariantList({ x, y }));
        QCOMPARE(describedOffset(form.view->accessibleDescription()), QPoint(x, y));
        // The fields are left as typed, up to what a line edit holds.
        QCOMPARE(form.x->text(), xText.left(form.x->maxLength()));
        QCOMPARE(form.y->text(), yText.left(form.y->maxLength()));
    }

    void onlyTheButtonApplies()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Form form = formOf(window);
        QSignalSpy spy(&window, &MainWindow::setParams);

        form.x->setText("5");
        for (QLineEdit *edit : { form.x, form.y }) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClick(edit, Qt::Key_Enter);
        }
        QCOMPARE(spy.count(), 0);
        QCOMPARE(describedOffset(form.view->accessibleDescription()), QPoint(75, 100));

        QTest::mouseClick(form.apply, Qt::LeftButton);
        QTest::mouseClick(form.apply, Qt::LeftButton);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0), QVariantList({ 5, 100 }));
        QCOMPARE(spy.at(1), QVariantList({ 5, 100 }));
    }

    void tenThousandAppliesRepaintAtMostOncePerTurnInFlatMemory()
    {
#ifndef Q_OS_WIN
        // Blocks of 256 KiB and more are mapped apart from the heap, so the
        // heap holds what the program allocates for an apply (texts, events,
        // the accessible description). llvmpipe takes blocks of 1 MiB for
        // its frames and may keep more of them as it goes.
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Form form = formOf(window);
        PaintCounter counter;
        form.view->installEventFilter(&counter);
        // What the last frame put on the screen showed.
        QPoint shown;
        connect(form.view, &QOpenGLWidget::frameSwapped, this,
                [&shown, &form] { shown = describedOffset(form.view->accessibleDescription()); });
        // A counter, not a QSignalSpy: the spy's record of every emission
        // would itself grow the memory that is measured here.
        int emitted = 0;
        connect(&window, &MainWindow::setParams, this, [&emitted] { ++emitted; });

        // Ten applies with changing fields in every turn of the event loop.
        QPoint lastApplied;
        const auto applyTurns = [&](int turns, int firstTurn) {
            for (int turn = firstTurn; turn < firstTurn + turns; ++turn) {
                for (int i = 0; i < 10; ++i) {
                    lastApplied = QPoint(turn % 200 - i, i - turn % 150);
                    form.x->setText(QString::number(lastApplied.x()));
                    form.y->setText(QString::number(lastApplied.y()));
                    form.apply->click();
                }
                QCoreApplication::processEvents();
            }
        };
        // The heap in use once the driver has finished drawing.
        const auto settledHeap = [&form] {
            form.view->makeCurrent();
            form.view->context()->functions()->glFinish();
            form.view->doneCurrent();
            return heapInUse();
        };
        applyTurns(100, 0);   // warm-up: caches, glyphs, driver buffers
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const qint64 heapBefore = settledHeap();
        const qint64 before = residentKib();
        const int paintsBefore = counter.paints;
        emitted = 0;

        applyTurns(1000, 100);
        QCOMPARE(emitted, 10000);
        QCOMPARE(describedOffset(form.view->accessibleDescription()), lastApplied);
        // Updates of one turn make one paint at most, and where the display
        // paces frames, as Wayland's does, several turns may share one; the
        // last offset applied is shown in the end.
        QTRY_COMPARE_WITH_TIMEOUT(shown, lastApplied, hangTimeout);
        const int paints = counter.paints - paintsBefore;
        QVERIFY2(paints >= 1 && paints <= 1000, qPrintable(QString::number(paints)));

        const qint64 heapAfter = settledHeap();
        const qint64 after = residentKib();
        QVERIFY(before > 0 && after > 0);
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer holds freed memory back; its leak check stands in here");
#endif
        const qint64 heapGrowth = heapAfter - heapBefore;
        qInfo("over 10000 applies, the heap grew by %lld bytes and resident memory "
              "from %lld to %lld KiB", heapGrowth, before, after);
        // Resident memory is no measure: it counts the driver's blocks too.
        QVERIFY2(heapGrowth < 64 * 1024, qPrintable(QString::number(heapGrowth)));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
