// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "main_window.h"
#include "windows_support.h"

#include <QApplication>

#include <iostream>

int main(int argc, char *argv[])
{
    attachParentConsole();
    std::cout << std::endl;

    QApplication app(argc, argv);
    // Lets a Wayland compositor match the window with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(KELVARA_APP_ID);
    MainWindow window;
    window.show();
    return app.exec();
}
