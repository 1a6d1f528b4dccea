#include "battery.h"

Battery::Battery(QWidget *parent)
    : QLabel(parent)
{}

void Battery::setLevel(int level)
{
    level_ = level;

    // The band bounds belong to the higher band; no range is imposed on the level.
    int band = 1;
    if (level_ >= 75)
        band = 4;
    else if (level_ >= 50)
        band = 3;
    else if (level_ >= 25)
        band = 2;

    image_path_ = QStringLiteral(":/image/image_resource/battery%1.png").arg(band);
    pixmap_.load(image_path_);
    setScaledContents(true);
    setPixmap(pixmap_);
}
