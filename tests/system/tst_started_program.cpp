// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "shader_faults.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <csignal>

// The program started as a user starts it, from a folder with its shaders
// intact, missing or broken, and on platforms without OpenGL: it shows its
// window, runs on until it is asked to end, and writes one line end to
// standard output and nothing else of its own.
class StartedProgramTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private slots:
    void programRunsOnAndPrintsOneLineEnd_data()
    {
        QTest::addColumn<ShaderEntry>("vertex");
        QTest::addColumn<ShaderEntry>("fragment");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("showsOnlyBackground");

        const ShaderEntry vertex { ShaderEntry::File, readProjectFile("assets/shaders/default.vert") };
        const ShaderEntry fragment { ShaderEntry::File, readProjectFile("assets/shaders/default.frag") };
        QVERIFY(!vertex.source.isEmpty() && !fragment.source.isEmpty());
        QTest::newRow("shaders intact") << vertex << fragment << QStringList() << QStringList() << false;
        for (const ShaderFault &fault : shaderFaults())
            QTest::newRow(fault.name) << fault.vertex << fault.fragment << QStringList() << QStringList() << true;

        // Intact shaders on platforms that can give no OpenGL context.
        if (QGuiApplication::platformName() == "xcb")
            QTest::newRow("X11 without OpenGL")
                    << vertex << fragment << QStringList() << QStringList { "QT_XCB_GL_INTEGRATION=none" }
                    << true;
        // Mesa 25 and later no longer read LIBGL_DRIVERS_PATH: there the
        // driver loads all the same and the house shows.
        QTest::newRow("no OpenGL driver")
                << vertex << fragment << QStringList() << QStringList { "LIBGL_DRIVERS_PATH=/nonexistent" }
                << false;
#ifndef Q_OS_WIN
        // A driver of OpenGL 1.x gives a context without shaders or
        // framebuffer objects. Under Wine only a variable that the Linux
        // side of Wine is started with reaches Mesa, so the Windows program's
        // check covers Windows.
        QTest::newRow("OpenGL 1.4")
                << vertex << fragment << QStringList() << QStringList { "MESA_GL_VERSION_OVERRIDE=1.4" }
                << true;
#endif
        QTest::newRow("offscreen platform")
                << vertex << fragment << QStringList { "-platform", "offscreen" } << QStringList() << false;
    }

    void programRunsOnAndPrintsOneLineEnd()
    {
        QFETCH(ShaderEntry, vertex);
        QFETCH(ShaderEntry, fragment);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(bool, showsOnlyBackground);
        ShaderFolder folder;
        QVERIFY(folder.make(vertex, fragment));
        QProcess program;
        program.setWorkingDirectory(folder.path());
        QProcessEnvironment programEnvironment = QProcessEnvironment::systemEnvironment();
        for (const QString &variable : std::as_const(environment))
            programEnvironment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        logFlushes(programEnvironment);
        program.setProcessEnvironment(programEnvironment);
        program.start(KELVARA_EXECUTABLE, arguments);
        QVERIFY(program.waitForStarted());
        // A crash on the first frame would end it before the frame is up.
        QByteArray errors;
        QVERIFY2(waitForFirstFrame(program, errors), errors.right(2000).constData());

        // The view's place shows its background and nothing else. On X11
        // and Windows the program's window is the only one on the screen.
        if (showsOnlyBackground && QStringList({ "xcb", "windows" }).contains(QGuiApplication::platformName())) {
            QImage screen;
            QRect view;
            QTRY_VERIFY_WITH_TIMEOUT(
                    [&] {
                        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
                        view = boundsOf(screen, background);
                        return view.width() > 250 && view.height() > 250;
                    }(),
                    hangTimeout);
            QCOMPARE(pixelsOtherThanBackground(screen.copy(view)), 0);
        }
#ifdef Q_OS_WIN
        // The request to end closes the window, and the program ends as when
        // the user closes it. Qt's offscreen platform shows no window to
        // close, so that program is ended by force.
        const bool showsNoWindow = arguments.contains("offscreen");
        if (showsNoWindow) {
            program.kill();
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(showsAWindow(program.processId()), hangTimeout);
            program.terminate();
        }
        QVERIFY(program.waitForFinished(hangTimeout));
        if (!showsNoWindow) {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        }
#else
        program.terminate();
        QVERIFY(program.waitForFinished(hangTimeout));
        QCOMPARE(program.exitCode(), SIGTERM);   // ended by the TERM, not by a fault
#endif
        QCOMPARE(program.readAllStandardOutput(), lineEnd);
    }
};

QTEST_MAIN(StartedProgramTest)
#include "tst_started_program.moc"
