// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "shape.h"

QList<Shape> houseScene()
{
    const QVector3D green(0.0f, 0.7f, 0.0f);
    const QVector3D brown(0.35f, 0.25f, 0.2f);
    const QVector3D black(0.0f, 0.0f, 0.0f);
    const QVector3D white(1.0f, 1.0f, 1.0f);

    return {
        { 0.0f, 0.0f, 100.0f, 100.0f, green, 0, 4, 0.0f },   // body
        { -10.0f, 0.0f, 50.0f, 50.0f, brown, 4, 3, 0.0f },   // roof
        { 20.0f, 20.0f, 30.0f, 50.0f, black, 0, 4, 0.0f },   // window
        { 20.0f, 38.0f, 30.0f, 4.0f, white, 0, 4, 0.0f },    // frame, horizontal bar
        { 33.0f, 40.0f, 4.0f, 30.0f, white, 0, 4, 0.0f },    // frame, vertical bar
    };
}
