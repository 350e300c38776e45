#pragma once
// A Windows icon file (.ico) of PNG images, one per size, largest last.
#include <QByteArray>
#include <QList>

QByteArray icoFile(const QList<QByteArray>& pngImages, const QList<int>& sizes);
