#include "battery.h"

Battery::Battery(QWidget *parent)
    : QLabel(parent)
{}

int Battery::band_of(int level)
{
    // The band bounds belong to the higher band; no range is imposed on the level.
    if (level >= 75)
        return 4;
    if (level >= 50)
        return 3;
    if (level >= 25)
        return 2;
    return 1;
}

void Battery::setLevel(int level)
{
    level_ = level;

    imagePath_ = QStringLiteral(":/image/image_resource/battery%1.png").arg(band_of(level));
    pixmap_.load(imagePath_);
    setScaledContents(true);
    setPixmap(pixmap_);
}
