#pragma once

#include <QImage>
#include <QString>

// Writes a Windows icon file holding the image as its one PNG-compressed entry (at most
// 256 x 256 pixels, 32 bits per pixel).
bool write_ico(const QImage &image, const QString &path);
