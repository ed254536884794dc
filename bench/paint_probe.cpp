// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Shows Kelvara's window, clicks the apply button a number of times with
// the event loop running in between, and prints how often the house view
// painted: once for the first frame, then for the clicks.

#include "main_window.h"
#include "paint_counter.h"
#include "opengl_widget.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int clicks = argc > 1 ? std::atoi(argv[1]) : 20;
    const int intervalMs = argc > 2 ? std::atoi(argv[2]) : 100;

    MainWindow window;
    PaintCounter counter;
    window.findChild<OpenGLWidget *>()->installEventFilter(&counter);
    auto *applyButton = window.findChild<QPushButton *>();
    auto *xField = window.findChild<QLineEdit *>();
    window.show();

    int paintsBeforeClicks = 0;
    int clicked = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (counter.paints == 0)
            return;
        if (clicked == 0)
            paintsBeforeClicks = counter.paints;
        if (clicked == clicks) {
            std::printf("first frame paints %d, clicks %d, paints after them %d\n",
                        paintsBeforeClicks, clicks, counter.paints - paintsBeforeClicks);
            app.quit();
            return;
        }
        xField->setText(QString::number(clicked % 100));
        applyButton->click();
        ++clicked;
    });
    // Clicks begin once the first frame has been painted.
    ticker.start(intervalMs);
    return app.exec();
}
