// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "clear_view.h"

#include <QSurfaceFormat>

ClearView::ClearView()
{
    QSurfaceFormat format;
    format.setSamples(8);
    setFormat(format);
}

void ClearView::initializeGL()
{
    initializeOpenGLFunctions();
    glClearColor(0.77f, 0.93f, 0.95f, 1.0f);
}

void ClearView::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT);
}
