// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "main_window.h"

#include "opengl_widget.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSizePolicy>
#include <QVBoxLayout>

namespace {

// The sizes a title bar, a task bar and a task switcher ask for, up to
// twice the usual scale; larger ones are scaled from 64.
QIcon houseIcon()
{
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64 }) {
        // Told the format, the reader does not load every image plugin to
        // ask whether it reads PNG.
        QImageReader reader(QStringLiteral(":/icons/kelvara-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

// Takes the house view's place where the platform offers no OpenGL, which
// would otherwise end the program on the first frame: the view's
// background, without the house.
QWidget *backgroundOnlyView()
{
    auto *view = new QWidget;
    const QVector3D rgb = OpenGLWidget::backgroundColor;
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(rgb.x(), rgb.y(), rgb.z()));
    view->setPalette(palette);
    view->setAutoFillBackground(true);
    return view;
}

} // namespace

MainWindow::MainWindow()
{
    setWindowTitle("Kelvara");
    setWindowIcon(houseIcon());
    setFixedSize(312, 400);

    auto *promptLabel = new QLabel(tr("Введите координаты домика:"));
    promptLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_xLineEdit.setText("75");
    m_yLineEdit.setText("100");

    // A label's buddy takes the label's text as its accessible name.
    auto *xLabel = new QLabel(tr("x:"));
    auto *yLabel = new QLabel(tr("y:"));
    xLabel->setBuddy(&m_xLineEdit);
    yLabel->setBuddy(&m_yLineEdit);

    auto *coordinatesRow = new QHBoxLayout;
    coordinatesRow->addWidget(xLabel);
    coordinatesRow->addWidget(&m_xLineEdit);
    coordinatesRow->addWidget(yLabel);
    coordinatesRow->addWidget(&m_yLineEdit);

    auto *applyButton = new QPushButton(tr("Применить"));
    applyButton->setFixedSize(100, 30);
    connect(applyButton, &QAbstractButton::clicked, this, &MainWindow::onApplyButtonClick);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setAlignment(Qt::AlignHCenter);
    buttonRow->addWidget(applyButton);

    QWidget *view = nullptr;
    if (OpenGLWidget::isSupported()) {
        auto *houseView = new OpenGLWidget;
        connect(this, &MainWindow::setParams, houseView, &OpenGLWidget::setParamsSlot);
        view = houseView;
    } else {
        view = backgroundOnlyView();
    }

    auto *mainColumn = new QVBoxLayout;
    mainColumn->addWidget(promptLabel);
    mainColumn->addLayout(coordinatesRow);
    mainColumn->addLayout(buttonRow);
    mainColumn->addWidget(view);
    setLayout(mainColumn);

    QFont formFont("serif", 11, -1, false);
    // Where "serif" is no font alias, as on Windows, the hint picks a serif face.
    formFont.setStyleHint(QFont::Serif);
    const QList<QWidget *> formWidgets = { promptLabel, &m_xLineEdit, &m_yLineEdit,
                                           xLabel, yLabel, applyButton };
    for (QWidget *widget : formWidgets)
        widget->setFont(formFont);

    setTabOrder(&m_xLineEdit, &m_yLineEdit);
    setTabOrder(&m_yLineEdit, applyButton);

    onApplyButtonClick();
}

void MainWindow::onApplyButtonClick()
{
    // toInt() yields 0 for text that is not a base-10 integer or that does
    // not fit in 32 bits, so any text maps to an offset.
    emit setParams(m_xLineEdit.text().toInt(), m_yLineEdit.text().toInt());
}
