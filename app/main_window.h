// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_MAIN_WINDOW_H
#define KELVARA_MAIN_WINDOW_H

#include <QLineEdit>
#include <QWidget>

// The fixed-size form: a prompt, the x and y fields, the apply button and
// the house view below them. setParams carries the typed offset to the view.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // The form over the house view, or over its background alone where the
    // platform cannot show an OpenGL view.
    MainWindow();

signals:
    void setParams(int x, int y);

private slots:
    void onApplyButtonClick();

private:
    QLineEdit m_xLineEdit;
    QLineEdit m_yLineEdit;
};

#endif
