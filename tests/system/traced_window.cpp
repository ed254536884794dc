// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Shows the program's main window, applies a new offset once the view's
// first frame is on screen, and quits after the frame that shows it: a
// start, a repaint and a clean exit, so that a tracer records every call of
// both frames. Ended by a signal instead, the program could be stopped
// before its frame was drawn or written out.

#include "main_window.h"
#include "opengl_widget.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    auto *view = window.findChild<OpenGLWidget *>();
    if (!view) {
        std::fprintf(stderr, "no OpenGL view on this platform\n");
        return 1;
    }

    QObject::connect(view, &QOpenGLWidget::frameSwapped, &app, [&] {
        // The apply comes from the event loop after the frame, as a user's would.
        QMetaObject::invokeMethod(&app, [&] {
            for (QLineEdit *field : window.findChildren<QLineEdit *>())
                field->setText(QStringLiteral("20"));
            window.findChild<QPushButton *>()->click();
            QObject::connect(view, &QOpenGLWidget::frameSwapped, &app, &QCoreApplication::quit);
        }, Qt::QueuedConnection);
    }, Qt::SingleShotConnection);
    window.show();
    return app.exec();
}
