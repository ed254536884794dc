// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_BENCH_REFERENCE_WINDOW_H
#define KELVARA_BENCH_REFERENCE_WINDOW_H

#include <QLineEdit>
#include <QWidget>

// Kelvara's form, built as the program builds it, over a view that the
// benchmark chooses, so that the reference programs differ from Kelvara in
// the view alone. setParams carries the typed offset as Kelvara's does.
class ReferenceWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ReferenceWindow(QWidget *view);

signals:
    void setParams(int x, int y);

private slots:
    void onApplyButtonClick();

private:
    QLineEdit m_xLineEdit;
    QLineEdit m_yLineEdit;
};

#endif
