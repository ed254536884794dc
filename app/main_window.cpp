#include "app/main_window.h"

#include "view/opengl_widget.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSizePolicy>
#include <QVBoxLayout>

MainWindow::MainWindow()
{
    setWindowTitle("Kelvara");
    setFixedSize(312, 400);

    auto *promptLabel = new QLabel("Введите координаты домика:");
    promptLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    m_xLineEdit.setText("75");
    m_yLineEdit.setText("100");

    auto *xLabel = new QLabel("x:");
    auto *yLabel = new QLabel("y:");

    auto *coordinatesRow = new QHBoxLayout;
    coordinatesRow->addWidget(xLabel);
    coordinatesRow->addWidget(&m_xLineEdit);
    coordinatesRow->addWidget(yLabel);
    coordinatesRow->addWidget(&m_yLineEdit);

    auto *applyButton = new QPushButton("Применить");
    applyButton->setFixedSize(100, 30);
    connect(applyButton, &QAbstractButton::clicked, this, &MainWindow::onApplyButtonClick);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setAlignment(Qt::AlignHCenter);
    buttonRow->addWidget(applyButton);

    auto *houseView = new OpenGLWidget;

    auto *mainColumn = new QVBoxLayout;
    mainColumn->addWidget(promptLabel);
    mainColumn->addLayout(coordinatesRow);
    mainColumn->addLayout(buttonRow);
    mainColumn->addWidget(houseView);
    setLayout(mainColumn);

    const QFont formFont("serif", 11, -1, false);
    const QList<QWidget *> formWidgets = { promptLabel, &m_xLineEdit, &m_yLineEdit,
                                           xLabel, yLabel, applyButton };
    for (QWidget *widget : formWidgets)
        widget->setFont(formFont);

    connect(this, &MainWindow::setParams, houseView, &OpenGLWidget::setParamsSlot);
    onApplyButtonClick();
}

void MainWindow::onApplyButtonClick()
{
    // toInt() yields 0 for text that is not a base-10 integer or that does
    // not fit in 32 bits, so any text maps to an offset.
    emit setParams(m_xLineEdit.text().toInt(), m_yLineEdit.text().toInt());
}
