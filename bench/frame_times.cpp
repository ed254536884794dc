// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Shows Kelvara's window and prints, once it has drawn, what one start and
// its repaints cost on this platform and driver:
//   renderer     the OpenGL renderer that drew the view
//   first_frame  milliseconds from the start of main() to the view's first
//                frame on screen
//   repaint      the median, over the given number of applies, of the
//                milliseconds from an apply to the view's next frame
// Made for platforms where the preload library of the benchmark cannot go,
// such as Windows under Wine.
//
// usage: kelvara_frame_times [APPLIES]

#include "main_window.h"
#include "opengl_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    const int applies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    MainWindow window;
    auto *view = window.findChild<OpenGLWidget *>();
    if (!view) {
        std::printf("renderer none: no OpenGL view on this platform\n");
        return 1;
    }
    auto *applyButton = window.findChild<QPushButton *>();
    auto *xField = window.findChild<QLineEdit *>();

    qint64 firstFrameMs = -1;
    std::vector<double> repaintMs;
    QElapsedTimer sinceApply;
    const auto apply = [&] {
        xField->setText(QString::number(int(repaintMs.size()) % 100));
        sinceApply.start();
        applyButton->click();
    };
    QObject::connect(view, &QOpenGLWidget::frameSwapped, &app, [&] {
        if (firstFrameMs < 0) {
            firstFrameMs = sinceStart.elapsed();
        } else if (sinceApply.isValid()) {
            repaintMs.push_back(double(sinceApply.nsecsElapsed()) / 1e6);
            sinceApply.invalidate();
        } else {
            return;   // a frame of the start, before the first apply
        }
        if (int(repaintMs.size()) == applies) {
            std::sort(repaintMs.begin(), repaintMs.end());
            view->makeCurrent();
            const auto *renderer = reinterpret_cast<const char *>(
                    view->context()->functions()->glGetString(GL_RENDERER));
            std::printf("renderer %s\nfirst_frame %lld ms\nrepaint %.1f ms (median of %d)\n",
                        renderer, firstFrameMs, repaintMs[repaintMs.size() / 2], applies);
            view->doneCurrent();
            app.quit();
            return;
        }
        // The next apply waits for the event loop, as a user's click would.
        QMetaObject::invokeMethod(&app, apply, Qt::QueuedConnection);
    });
    window.show();
    return app.exec();
}
