// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

// The Windows build's ZIP and installer as a user gets them, run under Wine
// on this X display and driven through the X server as a user would. The
// Windows build's CTest runs it and names its folder and its two helper
// programs in KELVARA_WINDOWS_BUILD, KELVARA_WINDOWS_LAUNCHER and
// KELVARA_WINDOWS_PROBE; WINEPREFIX names the Wine prefix to use.

namespace {

struct Finished
{
    bool ended = false;
    int exitCode = -1;
    QByteArray output;
};

Finished runToEnd(const QString &program, const QStringList &arguments,
                  const QString &workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(hangTimeout) && process.exitStatus() == QProcess::NormalExit;
    return { ended, process.exitCode(), process.readAll().replace("\r\n", "\n") };
}

QString windowsPath(const QString &unixPath)
{
    return "Z:" + QString(unixPath).replace('/', '\\');
}

// The one visible window titled "Kelvara", or nothing while there is none.
// Wine also makes a hidden 1x1 window of that name.
QString kelvaraWindow()
{
    const Finished search = runToEnd("xdotool", { "search", "--onlyvisible", "--name", "^Kelvara$" });
    const QList<QByteArray> windows = search.output.trimmed().split('\n');
    return search.exitCode == 0 && windows.size() == 1 ? QString(windows.first()) : QString();
}

// Whether a process runs kelvara.exe. Wine gives each process the path of
// its program, Windows or Unix, as its first argument; a process that has
// ended but is not yet reaped has none.
bool kelvaraRunning()
{
    const QStringList processes = QDir("/proc").entryList({ "[0-9]*" }, QDir::Dirs);
    for (const QString &process : processes) {
        QFile commandLine("/proc/" + process + "/cmdline");
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QString program = QString::fromLocal8Bit(commandLine.readAll().split('\0').first());
        if (program.section(QRegularExpression("[/\\\\]"), -1).compare("kelvara.exe", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QRect geometryOf(const QString &window)
{
    QHash<QString, int> values;
    const QString shell = runToEnd("xdotool", { "getwindowgeometry", "--shell", window }).output;
    for (const QString &line : shell.split('\n'))
        values.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
}

// What the screen shows of the view: the part of the window in the
// background colour, which surrounds the house.
QImage viewOnScreen(const QRect &window)
{
    const QImage shown = QGuiApplication::primaryScreen()
                                 ->grabWindow(0, window.x(), window.y(), window.width(), window.height())
                                 .toImage();
    return shown.copy(boundsOf(shown, background));
}

// Where the house at this offset differs from what the view shows, as text;
// empty when every part shows in its colour.
QString houseMismatch(const QImage &view, const QPoint &offset)
{
    if (view.width() < 250 || view.height() < 250)
        return QString("no view of the house on the screen, only %1x%2").arg(view.width()).arg(view.height());
    struct Sample
    {
        const char *part;
        QPointF inHouse;
        QColor color;
    };
    const Sample samples[] = {
        { "roof", { 50, -30 }, brown },        { "body", { 50, 80 }, green },
        { "window", { 25, 25 }, black },       { "frame", { 25, 40 }, white },
        { "beside the house", { 110, 50 }, background },
    };
    QStringList mismatches;
    for (const Sample &sample : samples) {
        const QPointF at = sample.inHouse + offset;
        const QColor shown = sceneColor(view, at.x(), at.y());
        if (!sameColor(shown, sample.color))
            mismatches << QString("%1 at (%2, %3) is %4, not %5")
                                  .arg(sample.part).arg(at.x()).arg(at.y())
                                  .arg(shown.name(), sample.color.name());
    }
    return mismatches.join("; ");
}

// Whether the roof's slopes are smoothed: along a row across both, some
// pixel lies strictly between the background and the roof colour on every
// channel, as multisampling blends them.
bool roofIsSmoothed(const QImage &view, const QPoint &offset)
{
    for (double x = offset.x() - 9; x < offset.x() + 50; x += 0.25) {
        const QColor c = sceneColor(view, x, offset.y() - 20);
        if (c.red() > brown.red() && c.red() < background.red() && c.green() > brown.green()
            && c.green() < background.green() && c.blue() > brown.blue() && c.blue() < background.blue())
            return true;
    }
    return false;
}

// Types into the focused window as a user would: x, Tab, y, Tab to the
// button, Space to apply.
void typeCoordinates(const QString &window, int x, int y)
{
    const auto send = [&window](const QString &action, const QStringList &input) {
        runToEnd("xdotool", QStringList { action, "--window", window } + input);
    };
    runToEnd("xdotool", { "windowfocus", "--sync", window });
    send("key", { "ctrl+a" });
    send("type", { QString::number(x) });
    send("key", { "Tab", "ctrl+a" });
    send("type", { QString::number(y) });
    send("key", { "Tab", "space" });
}

} // namespace

class WindowsProgramTest : public QObject
{
    Q_OBJECT

private:
    QDir m_build;
    QString m_launcher;
    QString m_probe;
    QTemporaryDir m_unpacked;
    QString m_unpackedBin;
    std::optional<QProcess> m_program;

    QString packageMatching(const QString &pattern) const
    {
        const QStringList found = m_build.entryList({ pattern }, QDir::Files);
        return found.size() == 1 ? m_build.filePath(found.first()) : QString();
    }

    // Starts a command under Wine that shows the program's window, with
    // these variables besides the caller's. Wine hands a Windows program
    // WINEQT_NAME as QT_NAME; Qt then logs the OpenGL it chose.
    void startUnderWine(const QStringList &arguments, const QString &workingDirectory,
                        const QStringList &variables = QStringList())
    {
        m_program.emplace();
        m_program->setWorkingDirectory(workingDirectory);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("WINEQT_LOGGING_RULES", "qt.qpa.gl=true");
        environment.insert("WINEQT_FORCE_STDERR_LOGGING", "1");
        for (const QString &variable : variables)
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        m_program->setProcessEnvironment(environment);
        m_program->start("wine", arguments);
        QVERIFY(m_program->waitForStarted());
    }

    // Waits for the program's window, checks its title and size and that
    // its view shows only its background.
    void verifyWindowShowsOnlyBackground()
    {
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = kelvaraWindow()).isEmpty(), hangTimeout);
        const QRect geometry = geometryOf(window);
        QCOMPARE(geometry.size(), QSize(312, 400));
        QImage view;
        QTRY_VERIFY_WITH_TIMEOUT((view = viewOnScreen(geometry)).width() > 250 && view.height() > 250,
                                 hangTimeout);
        QCOMPARE(pixelsOtherThanBackground(view), 0);
    }

    // Waits for the program's window, checks its title and size and that
    // its view shows the house at the offset.
    void verifyWindowShowsHouse(const QPoint &offset, QString &window)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!(window = kelvaraWindow()).isEmpty(), hangTimeout);
        QCOMPARE(runToEnd("xdotool", { "getwindowname", window }).output.trimmed(), QByteArray("Kelvara"));
        const QRect geometry = geometryOf(window);
        QCOMPARE(geometry.size(), QSize(312, 400));
        QTRY_COMPARE_WITH_TIMEOUT(houseMismatch(viewOnScreen(geometry), offset), QString(), hangTimeout);
    }

    // The software OpenGL beside the program, and the licences of what the
    // package ships.
    static void verifyCarriesSoftwareOpenGLAndLicences(const QString &root)
    {
        const QStringList files = QStringList { "bin/opengl32sw.dll", "bin/libgallium_wgl.dll", "licenses/README.txt",
                                                "licenses/kelvara/LICENSE.txt" }
                + QString(KELVARA_WINDOWS_LICENCE_FILES).split(',');
        for (const QString &file : files)
            QVERIFY2(QFileInfo(root + '/' + file).size() > 0, qPrintable(file));
        QFile readme(root + "/licenses/README.txt");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll()).replace("\r\n", " ").replace('\n', ' ');
        QVERIFY2(text.contains("kelvara\\LICENSE.txt"), qPrintable(text));
        // Each component with the version of its source.
        const QStringList components = QString(KELVARA_WINDOWS_COMPONENTS).split(',');
        for (const QString &component : components)
            QVERIFY2(text.contains(QRegularExpression("package " + QRegularExpression::escape(component) + " [0-9]")),
                     qPrintable(component + " in " + text));
        QFile own(root + "/licenses/kelvara/LICENSE.txt");
        QVERIFY(own.open(QIODevice::ReadOnly));
        const QByteArray licence = own.readAll();
        QVERIFY2(licence.startsWith("Copyright (c) The Kelvara developers.") && licence.contains("Redistribution and use"),
                 licence.left(200).constData());

        // Its SPDX document lists every file but the uninstaller, which the
        // installer writes, and names what the files were built from.
        const Finished inventory = runToEnd("python3", { qEnvironmentVariable("KELVARA_SPDX_CHECK"),
                                                         qEnvironmentVariable("KELVARA_SPDX_SCHEMA"),
                                                         "--ignore", "Uninstall.exe", "--expect",
                                                         KELVARA_WINDOWS_COMPONENTS, root });
        QVERIFY2(inventory.ended && inventory.exitCode == 0, inventory.output.constData());
    }

    // Asks the program to end as Windows does, by closing its window, until
    // no process of it is left. taskkill's exit code cannot tell: now and
    // then it fails to list the processes, or misses one that is unloading
    // its libraries.
    static void closeProgram()
    {
        QTRY_VERIFY_WITH_TIMEOUT((runToEnd("wine", { "taskkill", "/IM", "kelvara.exe" }), !kelvaraRunning()),
                                 hangTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(kelvaraWindow().isEmpty(), hangTimeout);
    }

    // Closes the program started under Wine, which then ends with exit code 0.
    void closeStartedProgram()
    {
        closeProgram();
        QTRY_COMPARE_WITH_TIMEOUT(m_program->state(), QProcess::NotRunning, hangTimeout);
        QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program->exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("WINEPREFIX"), "WINEPREFIX names no Wine prefix");
        m_build.setPath(qEnvironmentVariable("KELVARA_WINDOWS_BUILD"));
        m_launcher = qEnvironmentVariable("KELVARA_WINDOWS_LAUNCHER");
        m_probe = qEnvironmentVariable("KELVARA_WINDOWS_PROBE");
        QVERIFY2(m_build.exists("kelvara.exe"), "KELVARA_WINDOWS_BUILD names no Windows build");
        QVERIFY(QFile::exists(m_launcher) && QFile::exists(m_probe));
        QVERIFY2(!packageMatching("kelvara-*.zip").isEmpty(), "no ZIP: run cpack in the Windows build");
        QVERIFY2(!packageMatching("kelvara-*.exe").isEmpty(), "no installer: run cpack in the Windows build");
        QVERIFY(kelvaraWindow().isEmpty());

        // Into an empty folder, as a user unpacks it.
        QVERIFY(m_unpacked.isValid());
        const Finished unzip = runToEnd("unzip", { "-q", packageMatching("kelvara-*.zip"), "-d", m_unpacked.path() });
        QVERIFY2(unzip.ended && unzip.exitCode == 0, unzip.output.constData());
        const QStringList tops = QDir(m_unpacked.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(tops.size(), 1);
        m_unpackedBin = m_unpacked.filePath(tops.first() + "/bin");
        QVERIFY(QFile::exists(m_unpackedBin + "/kelvara.exe"));
        verifyCarriesSoftwareOpenGLAndLicences(m_unpacked.filePath(tops.first()));

        // Stripped, the MinGW runtime too: a debug section's name stands in
        // the file only while the section does.
        for (const char *binary : { "kelvara.exe", "Qt6Core.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
                                    "libwinpthread-1.dll" }) {
            QFile file(m_unpackedBin + '/' + binary);
            QVERIFY2(file.open(QIODevice::ReadOnly), binary);
            QVERIFY2(!file.readAll().contains(".debug_info"), binary);
        }
    }

    void cleanup()
    {
        runToEnd("wine", { "taskkill", "/F", "/IM", "kelvara.exe" });
        if (m_program)
            m_program->waitForFinished(hangTimeout);
        m_program.reset();
    }

    // The driver may offer OpenGL 2 or later, or only OpenGL 1.4, as a
    // machine without a vendor driver does. Qt then draws through the
    // software OpenGL shipped beside the program, Mesa's llvmpipe, which
    // smooths edges as the driver does; where that is missing or Qt is made
    // to keep the driver, the view shows its background. The driver here is
    // the host's llvmpipe, reached through Wine's opengl32.
    void unpackedProgramDrawsWithTheOpenGLItCanHave_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<bool>("withSoftwareOpenGL");
        QTest::addColumn<QString>("openGLLibrary");
        const QString driver14 = "MESA_GL_VERSION_OVERRIDE=1.4";
        QTest::newRow("(a) the driver's OpenGL") << QStringList() << true << "opengl32";
        QTest::newRow("(b) a driver of OpenGL 1.4") << QStringList { driver14 } << true << "opengl32sw";
        QTest::newRow("(c) software OpenGL asked for")
                << QStringList { "WINEQT_OPENGL=software" } << true << "opengl32sw";
        QTest::newRow("(d) OpenGL 1.4 without the software OpenGL")
                << QStringList { driver14 } << false << QString();
        QTest::newRow("(e) the driver's OpenGL 1.4 forced")
                << QStringList { driver14, "WINEQT_OPENGL=desktop" } << true << QString();
    }

    void unpackedProgramDrawsWithTheOpenGLItCanHave()
    {
        QFETCH(QStringList, variables);
        QFETCH(bool, withSoftwareOpenGL);
        QFETCH(QString, openGLLibrary);
        const QString softwareOpenGL = m_unpackedBin + "/opengl32sw.dll";
        QVERIFY(QFile::exists(softwareOpenGL));
        if (!withSoftwareOpenGL)
            QVERIFY(QFile::rename(softwareOpenGL, softwareOpenGL + ".away"));
        const auto restore = qScopeGuard([&] {
            if (!withSoftwareOpenGL)
                QFile::rename(softwareOpenGL + ".away", softwareOpenGL);
        });

        // Wine hands the variable that caps the driver at OpenGL 1.4 both to
        // the host's Mesa and to Windows programs, and so to the software
        // OpenGL too. cmd takes it out of what Windows programs see, so that
        // it caps only the driver, as on a machine whose driver is old.
        const QString cap = "MESA_GL_VERSION_OVERRIDE=1.4";
        startUnderWine(variables.contains(cap)
                               ? QStringList { "cmd", "/c", "set MESA_GL_VERSION_OVERRIDE=&& kelvara.exe" }
                               : QStringList { "kelvara.exe" },
                       m_unpackedBin, variables);
        if (openGLLibrary.isEmpty()) {
            verifyWindowShowsOnlyBackground();
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(m_program->state(), QProcess::Running);
            closeStartedProgram();
            return;
        }
        QString window;
        verifyWindowShowsHouse({ 75, 100 }, window);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(roofIsSmoothed(viewOnScreen(geometryOf(window)), { 75, 100 }));
        typeCoordinates(window, 20, 40);
        QTRY_COMPARE_WITH_TIMEOUT(houseMismatch(viewOnScreen(geometryOf(window)), { 20, 40 }), QString(),
                                  hangTimeout);
        QVERIFY(roofIsSmoothed(viewOnScreen(geometryOf(window)), { 20, 40 }));
        closeStartedProgram();
        // Which OpenGL drew: the library Qt loaded, and the renderer of its
        // context as Qt logged them.
        const QByteArray log = m_program->readAllStandardError();
        const QByteArray library = "Qt: Using WGL and OpenGL from \"" + openGLLibrary.toLatin1() + '"';
        QVERIFY2(log.contains(library) && log.contains(",\"llvmpipe (LLVM ") && !log.contains("softpipe"),
                 log.left(3000).constData());
    }

    // What users download, and what they unpack: the software OpenGL is
    // most of both.
    void packagesStayWithinTheirSizes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("maximumBytes");
        QTest::newRow("ZIP") << packageMatching("kelvara-*.zip") << qint64(30'000'000);
        QTest::newRow("installer") << packageMatching("kelvara-*.exe") << qint64(23'000'000);
        QTest::newRow("software OpenGL") << m_unpackedBin + "/libgallium_wgl.dll" << qint64(52'000'000);
    }

    void packagesStayWithinTheirSizes()
    {
        QFETCH(QString, file);
        QFETCH(qint64, maximumBytes);
        const qint64 size = QFileInfo(file).size();
        QVERIFY2(size > 0 && size <= maximumBytes, qPrintable(QString("%1: %2 bytes").arg(file).arg(size)));
    }

    // The program loads the Windows platform and style plugins; its icons
    // are PNG, which Qt reads without a plugin, and it has no translations.
    void packageCarriesOnlyThePluginsTheProgramLoads()
    {
        const QDir root(QFileInfo(m_unpackedBin).path());
        QStringList plugins;
        QDirIterator found(root.filePath("plugins"), { "*.dll" }, QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext())
            plugins << root.relativeFilePath(found.next());
        plugins.sort();
        QCOMPARE(plugins, QStringList({ "plugins/platforms/qwindows.dll", "plugins/styles/qmodernwindowsstyle.dll" }));
        QVERIFY(!root.exists("translations"));
    }

    // What Explorer's Details tab shows, and what Windows reads at start.
    void executableCarriesItsVersionAndManifest()
    {
        const QString program = windowsPath(m_unpackedBin + "/kelvara.exe");
        const Finished version = runToEnd("wine", { m_probe, "version", program });
        QVERIFY2(version.ended && version.exitCode == 0, version.output.constData());
        QCOMPARE(version.output, QByteArray("FILEVERSION = " KELVARA_VERSION ".0\n"
                                            "CompanyName = Kelvara\n"
                                            "FileDescription = Kelvara\n"
                                            "FileVersion = " KELVARA_VERSION "\n"
                                            "LegalCopyright = Copyright (C) 2026 the Kelvara developers\n"
                                            "ProductName = Kelvara\n"
                                            "ProductVersion = " KELVARA_VERSION "\n"));
        const Finished manifest = runToEnd("wine", { m_probe, "manifest", program });
        QVERIFY2(manifest.ended && manifest.exitCode == 0, manifest.output.constData());
        QVERIFY2(manifest.output.contains(R"(<requestedExecutionLevel level="asInvoker")"),
                 manifest.output.constData());
        // The one identifier that Windows 10 and Windows 11 share.
        QVERIFY2(manifest.output.contains(R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)"),
                 manifest.output.constData());
    }

    // Started from a console with both streams redirected to a file, the
    // program attaches to the console yet writes its line end to the file.
    // A pseudo-terminal gives Wine a console.
    void lineEndLandsInARedirectedFile()
    {
        const QString output = m_unpacked.filePath("redirected.txt");
        const QString command = QString("wine '%1' '%2' '%3'")
                                        .arg(m_launcher, windowsPath(m_unpackedBin + "/kelvara.exe"),
                                             windowsPath(output));
        m_program.emplace();
        m_program->setWorkingDirectory(m_unpackedBin);
        m_program->start("script", { "-qec", command, "/dev/null" });
        QVERIFY(m_program->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!kelvaraWindow().isEmpty(), hangTimeout);
        closeStartedProgram();
        if (QTest::currentTestFailed())
            return;

        // Qt's warnings follow it on standard error, as they would on the
        // console.
        QFile redirected(output);
        QVERIFY(redirected.open(QIODevice::ReadOnly));
        const QByteArray written = redirected.readAll();
        QVERIFY2(written.startsWith("\r\n"), written.constData());
    }

    void exportsReadOneThroughGetProcAddress()
    {
        const Finished probe = runToEnd("wine", { m_probe, "exports", windowsPath(m_unpackedBin + "/kelvara.exe") });
        QVERIFY2(probe.ended && probe.exitCode == 0, probe.output.constData());
        QCOMPARE(probe.output, QByteArray("NvOptimusEnablement = 1\nAmdPowerXpressRequestHighPerformance = 1\n"));
    }

    void installerInstallsAShortcutThatStartsTheProgramAndUninstalls()
    {
        const QString driveC = qEnvironmentVariable("WINEPREFIX") + "/drive_c";
        const Finished install = runToEnd("wine", { packageMatching("kelvara-*.exe"), "/S", "/D=C:\\Kelvara" });
        QVERIFY2(install.ended && install.exitCode == 0, install.output.constData());
        QVERIFY(QFile::exists(driveC + "/Kelvara/bin/kelvara.exe"));
        QVERIFY(QFile::exists(driveC + "/Kelvara/bin/assets/shaders/default.vert"));
        verifyCarriesSoftwareOpenGLAndLicences(driveC + "/Kelvara");
        if (QTest::currentTestFailed())
            return;

        QStringList shortcuts;
        QDirIterator found(driveC, { "Kelvara.lnk" }, QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext())
            shortcuts << found.next();
        QCOMPARE(shortcuts.size(), 1);
        QVERIFY2(shortcuts.first().contains("/Start Menu/Programs/"), qPrintable(shortcuts.first()));
        const Finished link = runToEnd("wine", { m_probe, "shortcut", windowsPath(shortcuts.first()) });
        QVERIFY2(link.ended && link.exitCode == 0, link.output.constData());
        QCOMPARE(link.output, QByteArray("C:\\Kelvara\\bin\\kelvara.exe\nC:\\Kelvara\\bin\n"));

        // Opened as the Start menu opens it.
        const Finished start = runToEnd("wine", { "start", "/unix", shortcuts.first() });
        QVERIFY2(start.ended && start.exitCode == 0, start.output.constData());
        QString window;
        verifyWindowShowsHouse({ 75, 100 }, window);
        closeProgram();
        if (QTest::currentTestFailed())
            return;

        const Finished uninstall = runToEnd("wine", { "C:\\Kelvara\\Uninstall.exe", "/S", "_?=C:\\Kelvara" });
        QVERIFY2(uninstall.ended && uninstall.exitCode == 0, uninstall.output.constData());
        QVERIFY(!QFile::exists(driveC + "/Kelvara/bin/kelvara.exe"));
        QVERIFY(!QFile::exists(shortcuts.first()));
    }
};

QTEST_MAIN(WindowsProgramTest)
#include "tst_windows_program.moc"
