// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "test_support.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

// The GL calls of a traced run, each with the context that was current.
// Qt composes the window in a context of its own; the view's contexts are
// those in which the view sets its background colour. A context handle may
// be reused once its context is gone, so each creation starts a new one.
struct Trace
{
    struct Call
    {
        QString context;
        QString text;
    };
    QList<Call> calls;
    QSet<QString> viewContexts;
    // Why there is no trace, if there is none.
    QString failure;

    QStringList viewCalls(const QRegularExpression &pattern) const
    {
        QStringList found;
        for (const Call &call : calls)
            if (viewContexts.contains(call.context) && pattern.match(call.text).hasMatch())
                found << call.text;
        return found;
    }
    int count(const QString &functionName) const
    {
        return int(viewCalls(QRegularExpression('^' + functionName + "\\(")).size());
    }
};

// GLX under X11, unless Qt reaches OpenGL through EGL: on Wayland, or on X11
// when asked to.
QString windowSystemApi()
{
    const bool egl = qEnvironmentVariable("QT_QPA_PLATFORM").startsWith("wayland")
            || qEnvironmentVariable("QT_XCB_GL_INTEGRATION") == "xcb_egl";
    return egl ? "egl" : "gl";
}

Trace parse(const QByteArray &dump)
{
    static const QRegularExpression create(
            R"(^(glXCreate(New)?Context\w*|eglCreateContext)\(.*\) = (0x[0-9a-f]+)$)");
    static const QRegularExpression makeCurrent(
            R"(^(glXMake(Context)?Current|eglMakeCurrent)\(.*ctx = (0x[0-9a-f]+|NULL)\))");
    Trace trace;
    QHash<QString, int> creations;
    QString current;
    for (const QByteArray &line : dump.split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (const auto match = create.match(text); match.hasMatch())
            ++creations[match.captured(3)];
        if (const auto match = makeCurrent.match(text); match.hasMatch())
            current = match.captured(3) + '#' + QString::number(creations.value(match.captured(3)));
        trace.calls.append({ current, text });
        if (text.startsWith("glClearColor(red = 0.77, green = 0.93, blue = 0.95, alpha = 1)"))
            trace.viewContexts.insert(current);
    }
    return trace;
}

} // namespace

class GlTraceTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private:
    QTemporaryDir m_traceDir;
    // The main window's start and one repaint after an apply.
    Trace m_window;

    static Trace failed(const QByteArray &why)
    {
        Trace trace;
        trace.failure = QString::fromUtf8(why);
        return trace;
    }

    // Runs the command under apitrace from the project root and returns the
    // dumped calls; the command's exit code goes to exitCode.
    Trace traced(const QStringList &command, int *exitCode = nullptr)
    {
        const QString traceFile = m_traceDir.filePath("run.trace");
        QFile::remove(traceFile);
        QProcess tracer;
        tracer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tracer.start("apitrace", QStringList{ "trace", "--api", windowSystemApi(), "--output", traceFile }
                                         + command);
        if (!tracer.waitForFinished(2 * hangTimeout))
            return failed("apitrace did not end");
        if (exitCode)
            *exitCode = tracer.exitCode();

        QProcess dumper;
        dumper.start("apitrace", { "dump", "--color=never", "--call-nos=no", traceFile });
        if (!dumper.waitForFinished(2 * hangTimeout))
            return failed("apitrace dump did not end");
        return parse(dumper.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable("apitrace").isEmpty(),
                 "apitrace is not installed");
        QVERIFY(m_traceDir.isValid());

        int exitCode = -1;
        m_window = traced({ KELVARA_TRACED_WINDOW }, &exitCode);
        QVERIFY2(m_window.failure.isEmpty(), qPrintable(m_window.failure));
        QCOMPARE(exitCode, 0);
    }

    void windowDrawsWithOneUploadAndFiveStripsPerPaint()
    {
        const Trace &trace = m_window;
        QCOMPARE(trace.viewContexts.size(), 1);

        const QStringList uploads = trace.viewCalls(
                QRegularExpression(R"(^gl(Named)?Buffer(Sub)?Data(ARB|EXT)?\()"));
        QCOMPARE(uploads.size(), 1);
        QVERIFY2(uploads.first().startsWith("glBufferData(target = GL_ARRAY_BUFFER, size = 56,"),
                 qPrintable(uploads.first()));

        // Each paint covers the whole framebuffer: its viewport comes right
        // before the clear, whatever Qt set before it.
        const QStringList storage = trace.viewCalls(QRegularExpression(
                R"(^glRenderbufferStorage(Multisample)?\(.*internalformat = GL_RGBA8)"));
        QVERIFY(!storage.isEmpty());
        const auto size = QRegularExpression(R"(width = (\d+), height = (\d+))").match(storage.first());
        const QString viewport = QStringLiteral("glViewport(x = 0, y = 0, width = %1, height = %2)")
                                         .arg(size.captured(1), size.captured(2));

        // Qt clears every new framebuffer with depth and stencil too; the
        // view's own clear is of the colour alone.
        QStringList frameCalls = trace.viewCalls(QRegularExpression(
                R"(^(glViewport\(|glClear\(mask = GL_COLOR_BUFFER_BIT\)$|glDraw(?!Buffers?\()))"));
        for (qsizetype i = 0; i < frameCalls.size(); ++i)
            if (frameCalls.at(i).startsWith("glClear("))
                QCOMPARE(i > 0 ? frameCalls.at(i - 1) : QString(), viewport);
        frameCalls.removeIf([](const QString &call) { return call.startsWith("glViewport("); });

        const QStringList onePaint = {
            "glClear(mask = GL_COLOR_BUFFER_BIT)",
            "glDrawArrays(mode = GL_TRIANGLE_STRIP, first = 0, count = 4)",
            "glDrawArrays(mode = GL_TRIANGLE_STRIP, first = 4, count = 3)",
            "glDrawArrays(mode = GL_TRIANGLE_STRIP, first = 0, count = 4)",
            "glDrawArrays(mode = GL_TRIANGLE_STRIP, first = 0, count = 4)",
            "glDrawArrays(mode = GL_TRIANGLE_STRIP, first = 0, count = 4)",
        };
        // The start and the apply each paint at least once; the apply
        // uploads nothing.
        const qsizetype paints = frameCalls.size() / onePaint.size();
        QVERIFY2(paints >= 2, qPrintable(QString::number(paints)));
        for (qsizetype paint = 0; paint < paints; ++paint)
            QCOMPARE(frameCalls.mid(paint * onePaint.size(), onePaint.size()), onePaint);
        QCOMPARE(frameCalls.size(), paints * onePaint.size());
        qInfo("%lld paints of 1 viewport, 1 clear and 5 draws; 1 upload of 56 bytes",
              qint64(paints));

        // From its viewport to its last draw a paint makes only these calls.
        // Around them Qt sets state of its own: Qt 6.8 enables blending
        // right before every paint.
        const QSet<QString> paintFunctions = { "glViewport", "glClear", "glUseProgram",
                                               "glUniformMatrix4fv", "glUniform3fv",
                                               "glDrawArrays" };
        const QStringList viewCalls = trace.viewCalls(QRegularExpression("^gl"));
        qsizetype paintsSeen = 0;
        for (qsizetype start = 0; start + 1 < viewCalls.size(); ++start) {
            if (viewCalls.at(start) != viewport || !viewCalls.at(start + 1).startsWith("glClear("))
                continue;
            ++paintsSeen;
            for (qsizetype i = start, draws = 0; i < viewCalls.size() && draws < 5; ++i) {
                const QString function = viewCalls.at(i).section('(', 0, 0);
                QVERIFY2(paintFunctions.contains(function), qPrintable(viewCalls.at(i)));
                draws += function == "glDrawArrays";
            }
        }
        QCOMPARE(paintsSeen, paints);
        QCOMPARE(trace.viewCalls(QRegularExpression(R"(^gl(Gen|Create|Bind)VertexArrays?)")),
                 QStringList());
    }

    void framebufferGetsTheSamplesThatTheDriverAllows()
    {
        const Trace &trace = m_window;
        const QStringList maxSamples = trace.viewCalls(
                QRegularExpression(R"(^glGetIntegerv\(pname = GL_MAX_SAMPLES)"));
        const QStringList storage = trace.viewCalls(QRegularExpression(
                R"(^glRenderbufferStorageMultisample\(.*internalformat = GL_RGBA8)"));
        QVERIFY(!maxSamples.isEmpty());
        QVERIFY(!storage.isEmpty());

        const int driverMaximum = QRegularExpression(R"(params = &(\d+))")
                                          .match(maxSamples.first()).captured(1).toInt();
        const int granted = QRegularExpression(R"(samples = (\d+))")
                                    .match(storage.first()).captured(1).toInt();
        qInfo("8 samples requested, driver allows %d, framebuffer has %d",
              driverMaximum, granted);
        QVERIFY(driverMaximum > 0);
        QCOMPARE(granted, std::min(8, driverMaximum));
    }

    void everyContextReleasesWhatItCreated()
    {
        int exitCode = -1;
        const Trace trace = traced({ KELVARA_CHURN_TEST }, &exitCode);
        QVERIFY2(trace.failure.isEmpty(), qPrintable(trace.failure));
        QCOMPARE(exitCode, 0);
        // The first window's context and one more for each of 100 moves.
        QCOMPARE(trace.viewContexts.size(), 101);

        QCOMPARE(trace.count("glBufferData"), 101);
        QCOMPARE(trace.count("glGenBuffers"), 101);
        QCOMPARE(trace.count("glDeleteBuffers"), 101);
        QCOMPARE(trace.count("glCreateProgram"), 101);
        QCOMPARE(trace.count("glDeleteProgram"), 101);
        QCOMPARE(trace.count("glCreateShader"), 202);
        QCOMPARE(trace.count("glDeleteShader"), 202);
    }
};

QTEST_GUILESS_MAIN(GlTraceTest)
#include "tst_gl_trace.moc"
