// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs a command to its end and returns its standard output; the exit code
// goes to exitCode.
QByteArray run(const QString &program, const QStringList &arguments, int *exitCode,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(300000);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}


// The value of a key in a desktop entry, or a null string without it.
QString desktopKey(const QString &entry, const QString &key)
{
    return QRegularExpression("^" + key + "=(.*)$", QRegularExpression::MultilineOption)
            .match(entry).captured(1);
}

} // namespace

// Installs the program as a package would put it, under a temporary root.
class InstalledProgramTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private:
    QTemporaryDir m_root;
    QString m_prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", m_root.path());
        int exitCode = -1;
        run(KELVARA_CMAKE, { "--install", KELVARA_BINARY_DIR }, &exitCode, environment);
        QCOMPARE(exitCode, 0);
        m_prefix = m_root.path() + KELVARA_INSTALL_PREFIX;
    }

    void launcherDrawsTheHouseFromAnyFolder()
    {
        QTemporaryDir elsewhere;
        QProcess program;
        program.setWorkingDirectory(elsewhere.path());
        program.start(m_prefix + "/bin/kelvara", QStringList());
        QVERIFY(program.waitForStarted());

        QString windowId;
        QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    int exitCode = -1;
                    const QString info = QString::fromUtf8(
                            run("xwininfo", { "-name", "Kelvara" }, &exitCode));
                    windowId = QRegularExpression("Window id: (0x[0-9a-f]+)")
                                       .match(info).captured(1);
                    return exitCode == 0 && !windowId.isEmpty();
                }(),
                hangTimeout);
        // Waits for the first frame: the body's green on screen.
        QImage window;
        QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    window = QGuiApplication::primaryScreen()
                                     ->grabWindow(windowId.toULongLong(nullptr, 16))
                                     .toImage();
                    return !boundsOf(window, green).isEmpty();
                }(),
                hangTimeout);
        int exitCode = -1;
        const QByteArray icon = run("xprop", { "-id", windowId, "_NET_WM_ICON" }, &exitCode);
        program.kill();
        program.waitForFinished();
        QCOMPARE(window.size(), QSize(312, 400));
        QCOMPARE(exitCode, 0);
        QVERIFY2(icon.startsWith("_NET_WM_ICON(CARDINAL) = "), icon.left(200).constData());

        // The view is the sky-blue area; at offset (75, 100) the body spans
        // 75..175 of the 200-unit width and 100..200 of the height.
        const QRect view = boundsOf(window, background);
        const QRect body = boundsOf(window, green);
        QVERIFY(view.width() > 250 && view.height() > 250);
        const auto near = [](double actual, double expected) { return qAbs(actual - expected) <= 2; };
        QVERIFY2(near(body.left(), view.left() + view.width() * 0.375)
                         && near(body.right() + 1, view.left() + view.width() * 0.875)
                         && near(body.top(), view.top() + view.height() * 0.5)
                         && near(body.bottom(), view.bottom()),
                 qPrintable(QStringLiteral("view %1,%2 %3x%4; body %5,%6 %7x%8")
                                    .arg(view.x()).arg(view.y()).arg(view.width()).arg(view.height())
                                    .arg(body.x()).arg(body.y()).arg(body.width()).arg(body.height())));
        QVERIFY(!boundsOf(window, brown).isEmpty());
    }

    void installedMetadataIsValid_data()
    {
        QTest::addColumn<QString>("validator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("acceptedRemarks");
        QTest::newRow("menu entry") << "desktop-file-validate" << QStringList()
                                    << "share/applications/" KELVARA_APP_ID ".desktop"
                                    << QStringList();
        // AppStream before 1.0 does not know the developer tag.
        QTest::newRow("software centre metainfo")
                << "appstreamcli" << QStringList { "validate", "--no-net", "--pedantic" }
                << "share/metainfo/" KELVARA_APP_ID ".metainfo.xml"
                << QStringList { "unknown-tag developer" };
    }

    // Valid with nothing to remark, not even a pedantic note, but for the
    // remarks the row accepts.
    void installedMetadataIsValid()
    {
        QFETCH(QString, validator);
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        QFETCH(QStringList, acceptedRemarks);
        int exitCode = -1;
        const QString output = QString::fromUtf8(
                run(validator, arguments << m_prefix + '/' + file, &exitCode));
        static const QRegularExpression remark(R"(^[EWIP]: [^:]+:[^:]+: (.+)$)",
                                               QRegularExpression::MultilineOption);
        bool onlyAccepted = true;
        for (const auto &match : remark.globalMatch(output))
            onlyAccepted = onlyAccepted && acceptedRemarks.contains(match.captured(1));
        QVERIFY2(onlyAccepted, qPrintable(output));
        // desktop-file-validate starts each remark with the file's path.
        QVERIFY2(!output.contains(QRegularExpression('^' + QRegularExpression::escape(m_prefix),
                                                     QRegularExpression::MultilineOption)),
                 qPrintable(output));
        // appstreamcli fails on warnings, the accepted one among them.
        QVERIFY2(exitCode == 0 || (exitCode == 3 && validator == "appstreamcli"), qPrintable(output));
    }

    // The menu runs Exec in Path and shows Icon; each must name an installed file.
    void desktopEntryPointsAtTheInstalledLauncherAndShaders()
    {
        QFile entry(m_prefix + "/share/applications/" KELVARA_APP_ID ".desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        const QString exec = desktopKey(text, "Exec");
        const QString path = desktopKey(text, "Path");
        QCOMPARE(exec, KELVARA_INSTALL_PREFIX "/bin/kelvara");
        QVERIFY(QFileInfo(m_root.path() + exec).isExecutable());
        QVERIFY(QFileInfo::exists(m_root.path() + path + "/assets/shaders/default.vert"));
        const QString icon = desktopKey(text, "Icon");
        QVERIFY(QFileInfo::exists(m_prefix + "/share/icons/hicolor/scalable/apps/" + icon + ".svg"));
    }

    void debianPackageHoldsTheProgramAndNamesItsDependencies()
    {
        QTemporaryDir packageDir;
        int exitCode = -1;
        run("cpack", { "-G", "DEB", "--config", KELVARA_BINARY_DIR "/CPackConfig.cmake",
                       "-B", packageDir.path() },
            &exitCode);
        QCOMPARE(exitCode, 0);
        const QStringList packages = QDir(packageDir.path()).entryList({ "kelvara_*.deb" });
        QCOMPARE(packages.size(), 1);
        const QString deb = packageDir.filePath(packages.first());

        const QString contents = QString::fromUtf8(run("dpkg-deb", { "--contents", deb }, &exitCode));
        QCOMPARE(exitCode, 0);
        for (const char *path : { "./usr/bin/kelvara", "./usr/libexec/kelvara/kelvara",
                                  "./usr/share/kelvara/assets/shaders/default.vert",
                                  "./usr/share/kelvara/assets/shaders/default.frag",
                                  "./usr/share/applications/" KELVARA_APP_ID ".desktop",
                                  "./usr/share/metainfo/" KELVARA_APP_ID ".metainfo.xml",
                                  "./usr/share/icons/hicolor/scalable/apps/" KELVARA_APP_ID ".svg",
                                  "./usr/share/man/man1/kelvara.1.gz",
                                  "./usr/share/doc/kelvara/copyright",
                                  "./usr/share/doc/kelvara/changelog.gz" })
            QVERIFY2(contents.contains(QRegularExpression(QRegularExpression::escape(path) + "$",
                                                          QRegularExpression::MultilineOption)),
                     path);

        // The package installs under /usr, whatever prefix the build was
        // configured with, and its menu entry has to say so.
        const QString entry = QString::fromUtf8(run(
                "sh", { "-c", "dpkg-deb --fsys-tarfile \"$0\" | tar -xO ./usr/share/applications/" KELVARA_APP_ID ".desktop", deb },
                &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(desktopKey(entry, "Exec"), QString("/usr/bin/kelvara"));
        QCOMPARE(desktopKey(entry, "Path"), QString("/usr/share/kelvara"));

        const QString depends = QString::fromUtf8(run("dpkg-deb", { "--field", deb, "Depends" }, &exitCode));
        QCOMPARE(exitCode, 0);
        for (const char *dependency : { "libqt6widgets6", "libqt6openglwidgets6", "libqt6opengl6",
                                        "libqt6gui6", "libqt6core6", "libc6", "qt6-qpa-plugins" })
            QVERIFY2(depends.contains(dependency), qPrintable(depends));

        // What Debian asks of a package, with no error and no warning.
        const QString remarks = QString::fromUtf8(run("lintian", { "--fail-on", "error,warning", deb }, &exitCode));
        QVERIFY2(exitCode == 0 && !remarks.contains(QRegularExpression("^[EW]: ", QRegularExpression::MultilineOption)),
                 qPrintable(remarks));
    }

    void manualPageRendersWithoutWarnings()
    {
        QProcess man;
        man.setProcessEnvironment([] {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("MANWIDTH", "80");
            return environment;
        }());
        man.start("man", { "--warnings", "-l", m_prefix + "/share/man/man1/kelvara.1.gz" });
        QVERIFY(man.waitForFinished(hangTimeout));
        const QByteArray page = man.readAllStandardOutput();
        QCOMPARE(man.exitCode(), 0);
        QCOMPARE(man.readAllStandardError(), QByteArray());
        QVERIFY2(page.startsWith("KELVARA(1)") && page.contains("assets/shaders/default.frag"), page.constData());
    }
};

QTEST_MAIN(InstalledProgramTest)
#include "tst_installed_program.moc"
