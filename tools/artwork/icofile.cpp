#include "icofile.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>

bool write_ico(const QImage &image, const QString &path)
{
    if (image.width() > 256 || image.height() > 256)
        return false;

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
        return false;

    constexpr quint32 header_size = 6 + 16; // directory header and one entry
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(1); // reserved, type icon, one image
    // In the entry a size of 0 stands for 256.
    out << quint8(image.width() & 0xff) << quint8(image.height() & 0xff) << quint8(0) << quint8(0)
        << quint16(1) << quint16(32) << quint32(png.size()) << header_size;
    out.writeRawData(png.constData(), int(png.size()));
    return out.status() == QDataStream::Ok && file.flush();
}
