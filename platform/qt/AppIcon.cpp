#include "platform/qt/AppIcon.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>

namespace k58 {

namespace {

QByteArray Bytes(std::span<const std::uint8_t> data) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                   static_cast<qsizetype>(data.size()));
}

} // namespace

QIcon MakeAppIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile) {
    QIcon icon;
    if (!icoFile.empty()) {
        QByteArray bytes = Bytes(icoFile);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        // The deepest image last, so that it is the one QIcon prefers among
        // images of the same size.
        QList<QImage> images;
        for (QImage image; reader.read(&image);) {
            images.append(image);
            if (!reader.jumpToNextImage())
                break;
        }
        std::stable_sort(images.begin(), images.end(),
                         [](const QImage& a, const QImage& b) { return a.depth() < b.depth(); });
        for (const QImage& image : images)
            icon.addPixmap(QPixmap::fromImage(image));
    }
    if (icon.isNull() && !pngFile.empty()) {
        QImage image;
        if (image.loadFromData(Bytes(pngFile), "PNG"))
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace k58
