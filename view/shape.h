// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_SHAPE_H
#define KELVARA_SHAPE_H

#include <QList>
#include <QVector3D>

#include <array>

// One flat-coloured primitive: a run of the unit geometry, scaled, turned
// and placed in scene units (0..200 on both axes, y growing downwards).
struct Shape
{
    float x;
    float y;
    float scaleX;
    float scaleY;
    QVector3D color;
    int firstVertex;
    int vertexCount;
    float angle;
};

// The unit square (vertices 0-3) and the roof triangle (vertices 4-6),
// as (x, y) pairs drawn as triangle strips.
inline constexpr std::array<float, 14> unitGeometry = {
    0.0f, 0.0f,
    1.0f, 0.0f,
    0.0f, 1.0f,
    1.0f, 1.0f,
    0.0f, 0.0f,
    1.2f, -1.0f,
    2.4f, 0.0f,
};

// The house at offset (0, 0), in stacking order: later shapes cover earlier ones.
QList<Shape> houseScene();

#endif
