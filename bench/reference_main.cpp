// Kelvara's own window with its house view swapped for a reference view, so
// that the benchmark compares views inside exactly the same form:
//   floor  one trivial shader drawing one quad
//   clear  a GL view that only clears
//   peer   the house drawn with QPainter on a plain widget

#include "app/main_window.h"
#include "bench/clear_view.h"
#include "bench/painter_view.h"
#include "bench/quad_view.h"
#include "view/opengl_widget.h"

#include <QApplication>
#include <QLayout>
#include <QPushButton>

#include <cstring>
#include <iostream>

int main(int argc, char *argv[])
{
    const char *mode = argc > 1 ? argv[1] : "";
    std::cout << std::endl;

    QApplication app(argc, argv);
    MainWindow window;

    QWidget *view = nullptr;
    if (std::strcmp(mode, "floor") == 0) {
        view = new QuadView;
    } else if (std::strcmp(mode, "clear") == 0) {
        view = new ClearView;
    } else if (std::strcmp(mode, "peer") == 0) {
        auto *painterView = new PainterView;
        QObject::connect(&window, &MainWindow::setParams, painterView, &PainterView::setParamsSlot);
        view = painterView;
    } else {
        std::cerr << "usage: kelvara_reference floor|clear|peer" << std::endl;
        return 2;
    }

    auto *houseView = window.findChild<OpenGLWidget *>();
    delete window.layout()->replaceWidget(houseView, view);
    delete houseView;

    // Sends the preset offset again, now to the new view.
    window.findChild<QPushButton *>()->click();
    window.show();
    return app.exec();
}
