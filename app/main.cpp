#include "app/main_window.h"
#include "app/windows_support.h"

#include <QApplication>

#include <iostream>

int main(int argc, char *argv[])
{
    attachParentConsole();
    std::cout << std::endl;

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
