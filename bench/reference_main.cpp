// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Kelvara's form over a reference view, so that the benchmark compares
// views inside the same window. None of them makes Kelvara's start-up
// check for OpenGL, so each pays only for what it draws with:
//   unchecked  the house view itself, without the check
//   floor      one trivial shader drawing one quad
//   clear      a GL view that only clears
//   peer       the house drawn with QPainter on a plain widget

#include "clear_view.h"
#include "opengl_widget.h"
#include "painter_view.h"
#include "quad_view.h"
#include "reference_window.h"

#include <QApplication>
#include <QPushButton>

#include <cstring>
#include <iostream>

int main(int argc, char *argv[])
{
    const char *mode = argc > 1 ? argv[1] : "";
    std::cout << std::endl;

    QApplication app(argc, argv);

    QWidget *view = nullptr;
    OpenGLWidget *houseView = nullptr;
    PainterView *painterView = nullptr;
    if (std::strcmp(mode, "unchecked") == 0) {
        view = houseView = new OpenGLWidget;
    } else if (std::strcmp(mode, "floor") == 0) {
        view = new QuadView;
    } else if (std::strcmp(mode, "clear") == 0) {
        view = new ClearView;
    } else if (std::strcmp(mode, "peer") == 0) {
        view = painterView = new PainterView;
    } else {
        std::cerr << "usage: kelvara_reference unchecked|floor|clear|peer" << std::endl;
        return 2;
    }

    ReferenceWindow window(view);
    if (houseView)
        QObject::connect(&window, &ReferenceWindow::setParams, houseView, &OpenGLWidget::setParamsSlot);
    if (painterView)
        QObject::connect(&window, &ReferenceWindow::setParams, painterView, &PainterView::setParamsSlot);
    // Sends the preset offset, as Kelvara's window does once it is built.
    window.findChild<QPushButton *>()->click();
    window.show();
    return app.exec();
}
