#include "ico_file.h"

#include <QtEndian>

namespace {
void putLe16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
void putLe32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
}  // namespace

// ICONDIR, one ICONDIRENTRY per image, then the images; PNG images inside an
// icon are read by every Windows since Vista.
QByteArray icoFile(const QList<QByteArray>& pngImages, const QList<int>& sizes) {
    QByteArray out;
    putLe16(out, 0);  // reserved
    putLe16(out, 1);  // icon
    putLe16(out, quint16(pngImages.size()));
    quint32 offset = quint32(6 + 16 * pngImages.size());
    for (qsizetype i = 0; i < pngImages.size(); ++i) {
        const int size = sizes.at(i);
        out.append(char(size >= 256 ? 0 : size));  // 0 stands for 256
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(0));  // no palette
        out.append(char(0));  // reserved
        putLe16(out, 1);      // colour planes
        putLe16(out, 32);     // bits per pixel
        putLe32(out, quint32(pngImages.at(i).size()));
        putLe32(out, offset);
        offset += quint32(pngImages.at(i).size());
    }
    for (const QByteArray& png : pngImages)
        out.append(png);
    return out;
}
