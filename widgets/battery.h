#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

// The instrument's battery charge in the status bar: one of four images, chosen by the level
// the instrument reports and stretched over the whole label.
class Battery : public QLabel
{
    Q_OBJECT

public:
    explicit Battery(QWidget *parent);

    void setLevel(int level);
    // The image band of a level, 1 (below 25) to 4 (75 and above).
    static int band_of(int level);

    double level() const { return level_; }
    // Resource path of the image shown; empty before the first level arrives.
    QString imagePath() const { return imagePath_; }

private:
    double level_ = 10.0;
    QString imagePath_;
    QPixmap pixmap_;
};
