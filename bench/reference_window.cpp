// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "reference_window.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSizePolicy>
#include <QVBoxLayout>

ReferenceWindow::ReferenceWindow(QWidget *view)
{
    setWindowTitle("Kelvara");
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64 }) {
        QImageReader reader(QStringLiteral(":/icons/kelvara-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    setWindowIcon(icon);
    setFixedSize(312, 400);

    auto *promptLabel = new QLabel(tr("Введите координаты домика:"));
    promptLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_xLineEdit.setText("75");
    m_yLineEdit.setText("100");
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
    connect(applyButton, &QAbstractButton::clicked, this, &ReferenceWindow::onApplyButtonClick);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setAlignment(Qt::AlignHCenter);
    buttonRow->addWidget(applyButton);

    auto *mainColumn = new QVBoxLayout(this);
    mainColumn->addWidget(promptLabel);
    mainColumn->addLayout(coordinatesRow);
    mainColumn->addLayout(buttonRow);
    mainColumn->addWidget(view);

    QFont formFont("serif", 11, -1, false);
    formFont.setStyleHint(QFont::Serif);
    const QList<QWidget *> formWidgets = { promptLabel, &m_xLineEdit, &m_yLineEdit,
                                           xLabel, yLabel, applyButton };
    for (QWidget *widget : formWidgets)
        widget->setFont(formFont);
    setTabOrder(&m_xLineEdit, &m_yLineEdit);
    setTabOrder(&m_yLineEdit, applyButton);
}

void ReferenceWindow::onApplyButtonClick()
{
    emit setParams(m_xLineEdit.text().toInt(), m_yLineEdit.text().toInt());
}
