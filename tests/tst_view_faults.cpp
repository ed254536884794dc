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

#include <sys/stat.h>

namespace {

QByteArray readProjectFile(const QString &path)
{
    QFile file(QDir::current().filePath(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What stands at one shader path: a file with these bytes, nothing, a
// directory, or a FIFO that no writer ever opens.
struct ShaderEntry
{
    enum Kind { File, Absent, Directory, Fifo };
    Kind kind = File;
    QByteArray source;
};

ShaderEntry file(const QByteArray &source) { return { ShaderEntry::File, source }; }
const ShaderEntry absent { ShaderEntry::Absent, {} };
const ShaderEntry directory { ShaderEntry::Directory, {} };
const ShaderEntry fifo { ShaderEntry::Fifo, {} };

bool place(const QDir &shaders, const QString &name, const ShaderEntry &entry)
{
    switch (entry.kind) {
    case ShaderEntry::Absent:
        return true;
    case ShaderEntry::Directory:
        return shaders.mkdir(name);
    case ShaderEntry::Fifo:
        return mkfifo(QFile::encodeName(shaders.filePath(name)).constData(), 0600) == 0;
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
        QVERIFY(place(shaders, "default.vert", vertex));
        QVERIFY(place(shaders, "default.frag", fragment));
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
        program.setProcessEnvironment(programEnvironment);
        program.start(KELVARA_EXECUTABLE, arguments);
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(program.bytesAvailable() > 0, 10000);
        // Up and drawing by now; a crash on the first frame would end it here.
        QVERIFY2(!program.waitForFinished(1500), program.readAllStandardError().constData());

        // The view's place shows its background and nothing else. On X11
        // the program's window is the only one on the screen.
        if (showsOnlyBackground && qEnvironmentVariable("QT_QPA_PLATFORM") == "xcb") {
            QImage screen;
            QRect view;
            QTRY_VERIFY_WITH_TIMEOUT(
                    [&] {
                        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
                        view = boundsOf(screen, background);
                        return view.width() > 250 && view.height() > 250;
                    }(),
                    10000);
            QCOMPARE(pixelsOtherThanBackground(screen.copy(view)), 0);
        }
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), SIGTERM);   // ended by the TERM, not by a fault
        QCOMPARE(program.readAllStandardOutput(), QByteArray("\n"));
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
        row("FIFO vertex file", fifo, fragment);
        row("50 MB vertex file", file(QByteArray(50 * 1024 * 1024, 'x')), fragment);
        row("vertex shader without aPosition",
            file("void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }"), fragment);

        if (!forTheProgram)
            return;
        // Good shaders on platforms that can give no OpenGL context.
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == "xcb")
            QTest::newRow("X11 without OpenGL")
                    << vertex << fragment << QStringList() << QStringList { "QT_XCB_GL_INTEGRATION=none" }
                    << true;
        // Mesa 25 and later no longer read LIBGL_DRIVERS_PATH: there the
        // driver loads all the same and the house shows.
        QTest::newRow("no OpenGL driver")
                << vertex << fragment << QStringList() << QStringList { "LIBGL_DRIVERS_PATH=/nonexistent" }
                << false;
        QTest::newRow("offscreen platform")
                << vertex << fragment << QStringList { "-platform", "offscreen" } << QStringList() << false;
    }
};

QTEST_MAIN(ViewFaultsTest)
#include "tst_view_faults.moc"
