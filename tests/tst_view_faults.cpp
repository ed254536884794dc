#include "app/main_window.h"
#include "test_support.h"
#include "view/opengl_widget.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

QByteArray readProjectFile(const QString &path)
{
    QFile file(QDir::current().filePath(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What stands at one shader path: a file with these bytes, nothing, or a directory.
struct ShaderEntry
{
    enum Kind { File, Absent, Directory };
    Kind kind = File;
    QByteArray source;
};

ShaderEntry file(const QByteArray &source) { return { ShaderEntry::File, source }; }
const ShaderEntry absent { ShaderEntry::Absent, {} };
const ShaderEntry directory { ShaderEntry::Directory, {} };

bool place(const QDir &shaders, const QString &name, const ShaderEntry &entry)
{
    switch (entry.kind) {
    case ShaderEntry::Absent:
        return true;
    case ShaderEntry::Directory:
        return shaders.mkdir(name);
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

    void programRunsOnAndPrintsNothingOfItsOwn_data() { shaderFaults(); }
    void programRunsOnAndPrintsNothingOfItsOwn()
    {
        QProcess program;
        program.setWorkingDirectory(m_workDir->path());
        program.start(KELVARA_EXECUTABLE, QStringList());
        QVERIFY(program.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(program.state(), QProcess::Running);   // it did not crash
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.readAllStandardOutput(), QByteArray("\n"));
    }

private:
    static void shaderFaults()
    {
        QTest::addColumn<ShaderEntry>("vertex");
        QTest::addColumn<ShaderEntry>("fragment");

        const ShaderEntry vertex = file(readProjectFile("assets/shaders/default.vert"));
        const ShaderEntry fragment = file(readProjectFile("assets/shaders/default.frag"));
        QVERIFY(!vertex.source.isEmpty() && !fragment.source.isEmpty());

        QTest::newRow("both missing") << absent << absent;
        QTest::newRow("vertex missing") << absent << fragment;
        QTest::newRow("fragment missing") << vertex << absent;
        QTest::newRow("both empty") << file("") << file("");
        QTest::newRow("garbage") << file("this is not GLSL {") << file("\x01\x02\xff not GLSL");
        QTest::newRow("directories") << directory << directory;
        QTest::newRow("50 MB vertex file")
                << file(QByteArray(50 * 1024 * 1024, 'x')) << fragment;
        QTest::newRow("vertex shader without aPosition")
                << file("void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }") << fragment;
    }
};

QTEST_MAIN(ViewFaultsTest)
#include "tst_view_faults.moc"
