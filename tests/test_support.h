// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_TESTS_TEST_SUPPORT_H
#define KELVARA_TESTS_TEST_SUPPORT_H

#include <QByteArray>
#include <QColor>
#include <QDeadlineTimer>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

#include <climits>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The suites run on X11 unless QT_QPA_PLATFORM names another platform, such
// as wayland; the programs they start inherit the choice. Each suite calls
// this from its initMain(), which QtTest runs before it creates the
// application.
inline void useX11UnlessAnotherPlatformIsNamed()
{
#ifndef Q_OS_WIN
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
}

// Bounds a wait on another process, the display or the driver. Only a hang
// runs past it, even on a machine loaded to twice its cores.
constexpr int hangTimeout = 120 * 1000;

// Qt's widget painting log names every flush of a window to the screen, so a
// program started with it on tells when its first frame is up.
inline void logFlushes(QProcessEnvironment &environment)
{
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.widgets.painting=true"));
}

// Reads the standard error of a program started with logFlushes() into
// errors until its main window has been flushed to the screen; false if the
// program ends first or hangs.
inline bool waitForFirstFrame(QProcess &program, QByteArray &errors)
{
    static const QRegularExpression flush(QStringLiteral(R"(Flushing QRegion\(\d[^)]*\) of MainWindow\()"));
    const QDeadlineTimer deadline(hangTimeout);
    // Only what came since the last look is searched, with enough before it
    // for a line cut in two: a program may log megabytes first.
    qsizetype searched = 0;
    while (!flush.match(QString::fromLatin1(errors.mid(qMax(qsizetype(0), searched - 200)))).hasMatch()) {
        searched = errors.size();
        if (program.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        program.waitForReadyRead(100);
        errors += program.readAllStandardError();
    }
    return true;
}

// Where the house view's accessible description, which a screen reader
// hears, says the house stands; (INT_MIN, INT_MIN) where it says nothing.
inline QPoint describedOffset(const QString &description)
{
    static const QRegularExpression point(QStringLiteral(R"(\((-?\d+), (-?\d+)\)$)"));
    const QRegularExpressionMatch match = point.match(description);
    if (!match.hasMatch())
        return { INT_MIN, INT_MIN };
    return { match.captured(1).toInt(), match.captured(2).toInt() };
}

// Installed as an event filter on a widget, counts the paint events it gets.
// A QOpenGLWidget runs paintGL once for each of them.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// What the program writes for std::endl: its streams are in text mode.
#ifdef Q_OS_WIN
inline const QByteArray lineEnd("\r\n");
#else
inline const QByteArray lineEnd("\n");
#endif

#ifdef Q_OS_WIN
// Whether the process shows a window. On Windows QProcess::terminate() asks
// a program to close its windows, so it reaches the program only once it
// shows one.
inline bool showsAWindow(qint64 processId)
{
    struct Search
    {
        DWORD processId;
        bool found;
    } search { DWORD(processId), false };
    EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto *search = reinterpret_cast<Search *>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                search->found = owner == search->processId && IsWindowVisible(window);
                return !search->found;
            },
            reinterpret_cast<LPARAM>(&search));
    return search.found;
}
#endif

// Colours as the 8-bit framebuffer holds them inside a shape.
inline const QColor background(196, 237, 242);
inline const QColor green(0, 178, 0);
inline const QColor brown(89, 64, 51);
inline const QColor black(0, 0, 0);
inline const QColor white(255, 255, 255);

// The colour at a point given in scene units (0..200 on both axes, y down),
// whatever the size of the grabbed frame.
inline QColor sceneColor(const QImage &frame, double x, double y)
{
    const int px = qBound(0, int(x * frame.width() / 200.0), frame.width() - 1);
    const int py = qBound(0, int(y * frame.height() / 200.0), frame.height() - 1);
    return frame.pixelColor(px, py);
}

// Exact but for one step of rounding in the driver.
inline bool sameColor(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1
            && std::abs(a.blue() - b.blue()) <= 1;
}

// How many pixels of the frame differ from the background colour.
inline int pixelsOtherThanBackground(const QImage &frame)
{
    int count = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (!sameColor(frame.pixelColor(x, y), background))
                ++count;
    return count;
}

// The smallest rectangle holding every pixel of the colour.
inline QRect boundsOf(const QImage &image, const QColor &color)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (sameColor(image.pixelColor(x, y), color))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Pixels that differ between two frames of the same size, leaving out those
// next to an edge in the first one. Qt 6.4 drops the sample count when it
// gives a widget a new context, so antialiased edges may change while the
// shapes may not.
inline int interiorPixelsThatDiffer(const QImage &first, const QImage &second)
{
    int count = 0;
    for (int y = 1; y + 1 < first.height(); ++y) {
        for (int x = 1; x + 1 < first.width(); ++x) {
            const QRgb centre = first.pixel(x, y);
            bool interior = true;
            for (int dy = -1; dy <= 1 && interior; ++dy)
                for (int dx = -1; dx <= 1 && interior; ++dx)
                    interior = first.pixel(x + dx, y + dy) == centre;
            if (interior && second.pixel(x, y) != centre)
                ++count;
        }
    }
    return count;
}

// Runs the rest of a scope with another working directory, and returns to
// the old one however the scope ends.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString &path) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~WorkingDirectory() { QDir::setCurrent(m_previous); }
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

private:
    QString m_previous;
};

#endif
