// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "app/main_window.h"
#include "test_support.h"
#include "view/opengl_widget.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <signal.h>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

QByteArray readProjectFile(const QString &path)
{
    QFile file(QDir::current().filePath(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What stands at one shader path: a file with these bytes, nothing, a
// directory, or a file that cannot be read: on Windows one that another
// handle holds open without sharing, elsewhere a FIFO that no writer ever
// opens.
struct ShaderEntry
{
    enum Kind { File, Absent, Directory, Unreadable };
    Kind kind = File;
    QByteArray source;
};

ShaderEntry file(const QByteArray &source) { return { ShaderEntry::File, source }; }
const ShaderEntry absent { ShaderEntry::Absent, {} };
const ShaderEntry directory { ShaderEntry::Directory, {} };
const ShaderEntry unreadable { ShaderEntry::Unreadable, {} };

#ifdef Q_OS_WIN
// Holds a file open without sharing, so that no one else can open it.
class LockedFile
{
public:
    explicit LockedFile(const QString &path)
        : m_handle(CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                               GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~LockedFile()
    {
        if (isLocked())
            CloseHandle(m_handle);
    }
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;
    bool isLocked() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};
#else
class LockedFile
{
};
#endif

bool place(const QDir &shaders, const QString &name, const ShaderEntry &entry,
           std::optional<LockedFile> &lock)
{
    switch (entry.kind) {
    case ShaderEntry::Absent:
        return true;
    case ShaderEntry::Directory:
        return shaders.mkdir(name);
    case ShaderEntry::Unreadable:
#ifdef Q_OS_WIN
        lock.emplace(shaders.filePath(name));
        return lock->isLocked();
#else
        Q_UNUSED(lock);
        return mkfifo(QFile::encodeName(shaders.filePath(name)).constData(), 0600) == 0;
#endif
    case ShaderEntry::File: {
        QFile out(shaders.filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(entry.source) == entry.source.size();
    }
    }
    return false;
}

// Qt logs the whole source of a shader that fails to compile: 50 MB of it
// in one case here. Those warnings are expected and kept out of the log.
class QuietMessages
{
public:
    QuietMessages()
        : m_previous(qInstallMessageHandler([](QtMsgType, const QMessageLogContext &,
                                               const QString &) {}))
    {
    }
    ~QuietMessages() { qInstallMessageHandler(m_previous); }
    QuietMessages(const QuietMessages &) = delete;
    QuietMessages &operator=(const QuietMessages &) = delete;

private:
    QtMessageHandler m_previous;
};

} // namespace

Q_DECLARE_METATYPE(ShaderEntry)

// The program started in a folder whose shaders are missing or broken must
// keep a working window that shows the background, and must not crash.
class ViewFaultsTest : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_workDir;
    std::optional<LockedFile> m_vertexLock;
    std::optional<LockedFile> m_fragmentLock;

private slots:
    void init()
    {
        QFETCH(ShaderEntry, vertex);
        QFETCH(ShaderEntry, fragment);
        m_workDir.emplace();
        QVERIFY(m_workDir->isValid());
        const QDir root(m_workDir->path());
        QVERIFY(root.mkpath("assets/shaders"));
        const QDir shaders(root.filePath("assets/shaders"));
        QVERIFY(place(shaders, "default.vert", vertex, m_vertexLock));
        QVERIFY(place(shaders, "default.frag", fragment, m_fragmentLock));
    }

    void cleanup()
    {
        m_vertexLock.reset();
        m_fragmentLock.reset();
        m_workDir.reset();
    }

    void windowKeepsWorkingAndShowsTheBackground_data() { shaderFaults(); }
    void windowKeepsWorkingAndShowsTheBackground()
    {
        const WorkingDirectory inWorkDir(m_workDir->path());
        const QuietMessages quiet;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<OpenGLWidget *>();
        QCOMPARE(pixelsOtherThanBackground(view->grabFramebuffer()), 0);

        QTest::mouseClick(window.findChild<QPushButton *>(), Qt::LeftButton);
        QCOMPARE(view->offset(), QPoint(75, 100));
        QCOMPARE(pixelsOtherThanBackground(view->grabFramebuffer()), 0);
        QVERIFY(window.isVisible());
    }

    void programRunsOnAndPrintsNothingOfItsOwn_data() { shaderFaults(true); }
    void programRunsOnAndPrintsNothingOfItsOwn()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(bool, showsOnlyBackground);
        QProcess program;
        program.setWorkingDirectory(m_workDir->path());
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

private:
    // The fault rows; for the program, each also with its command-line
    // arguments and environment, and rows where the platform has no OpenGL.
    static void shaderFaults(bool forTheProgram = false)
    {
        QTest::addColumn<ShaderEntry>("vertex");
        QTest::addColumn<ShaderEntry>("fragment");
        if (forTheProgram) {
            QTest::addColumn<QStringList>("arguments");
            QTest::addColumn<QStringList>("environment");
            QTest::addColumn<bool>("showsOnlyBackground");
        }

        const ShaderEntry vertex = file(readProjectFile("assets/shaders/default.vert"));
        const ShaderEntry fragment = file(readProjectFile("assets/shaders/default.frag"));
        QVERIFY(!vertex.source.isEmpty() && !fragment.source.isEmpty());

        const auto row = [forTheProgram](const char *name, const ShaderEntry &vertexEntry,
                                         const ShaderEntry &fragmentEntry) {
            QTestData &data = QTest::newRow(name) << vertexEntry << fragmentEntry;
            if (forTheProgram)
                data << QStringList() << QStringList() << true;
        };
        row("both missing", absent, absent);
        row("vertex missing", absent, fragment);
        row("fragment missing", vertex, absent);
        row("both empty", file(""), file(""));
        row("garbage", file("this is not GLSL {"), file("\x01\x02\xff not GLSL"));
        row("directories", directory, directory);
#ifdef Q_OS_WIN
        row("vertex file locked by another handle", unreadable, fragment);
#else
        row("FIFO vertex file", unreadable, fragment);
#endif
        row("50 MB vertex file", file(QByteArray(50 * 1024 * 1024, 'x')), fragment);
        row("vertex shader without aPosition",
            file("void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }"), fragment);

        if (!forTheProgram)
            return;
        // Good shaders on platforms that can give no OpenGL context.
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
};

QTEST_MAIN(ViewFaultsTest)
#include "tst_view_faults.moc"
