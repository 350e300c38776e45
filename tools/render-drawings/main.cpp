// zelmar-render-drawings png SVG SIZE OUT.png OUT@2x.png
//   the drawing at SIZE by SIZE pixels, and at twice that
// zelmar-render-drawings ico SVG OUT.ico SIZE...
//   a Windows icon with the drawing at each size
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

#include "ico_file.h"

namespace {

// As the dialogs render it where Qt SVG is linked.
QImage render(QSvgRenderer& svg, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter, QRectF(0, 0, pixels, pixels));
    return image;
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

int usage() {
    std::fputs("usage: zelmar-render-drawings png SVG SIZE OUT.png OUT@2x.png\n"
               "       zelmar-render-drawings ico SVG OUT.ico SIZE...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 4)
        return usage();
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "zelmar-render-drawings: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    bool ok = false;
    if (args[0] == QLatin1String("png") && args.size() == 5) {
        const int size = args[2].toInt(&ok);
        if (!ok || size <= 0 || size > 1024)
            return usage();
        ok = write(args[3], png(render(svg, size))) && write(args[4], png(render(svg, 2 * size)));
    } else if (args[0] == QLatin1String("ico")) {
        QList<QByteArray> images;
        QList<int> sizes;
        for (const QString& arg : args.mid(3)) {
            const int size = arg.toInt(&ok);
            if (!ok || size <= 0 || size > 256)
                return usage();
            images.append(png(render(svg, size)));
            sizes.append(size);
        }
        ok = write(args[2], icoFile(images, sizes));
    } else {
        return usage();
    }
    if (!ok)
        std::fprintf(stderr, "zelmar-render-drawings: cannot write the output\n");
    return ok ? 0 : 1;
}
