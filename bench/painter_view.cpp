// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "painter_view.h"

#include <QColor>
#include <QPainter>
#include <QPolygonF>

namespace {

// The run of unit geometry as a polygon: a triangle strip of four vertices
// is the quad 0-1-3-2, one of three is the triangle itself.
QPolygonF outlineOf(const Shape &shape)
{
    QPolygonF strip;
    for (int i = shape.firstVertex; i < shape.firstVertex + shape.vertexCount; ++i)
        strip << QPointF(unitGeometry[2 * i], unitGeometry[2 * i + 1]);
    if (strip.size() == 4)
        strip.swapItemsAt(2, 3);
    return strip;
}

} // namespace

PainterView::PainterView()
    : m_shapes(houseScene())
{
}

void PainterView::setParamsSlot(int x, int y)
{
    m_x = x;
    m_y = y;
    update();
}

void PainterView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.fillRect(rect(), QColor::fromRgbF(0.77f, 0.93f, 0.95f));
    painter.scale(width() / 200.0, height() / 200.0);

    for (const Shape &shape : std::as_const(m_shapes)) {
        painter.save();
        painter.translate(shape.x + m_x, shape.y + m_y);
        painter.rotate(shape.angle);
        painter.scale(shape.scaleX, shape.scaleY);
        painter.setBrush(QColor::fromRgbF(shape.color.x(), shape.color.y(), shape.color.z()));
        painter.drawPolygon(outlineOf(shape));
        painter.restore();
    }
}
