#pragma once

#include <QAbstractAnimation>
#include <QWidget>

#include <memory>

class QLabel;
class QPropertyAnimation;
class QTimer;

// Busy indicator: an accent-coloured rectangle that flips over again and again, alternately
// about its horizontal and its vertical centre line, with a pause between flips. The rectangle
// is an offscreen label rendered through a 3-D rotation of `tranformY` degrees.
class FlipRectAnimation : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double tranformY READ tranformY WRITE setTranformY NOTIFY tranformYChanged
                   DESIGNABLE true SCRIPTABLE true STORED true)

public:
    FlipRectAnimation(int width, int height, int duration, QWidget *parent);
    ~FlipRectAnimation() override;

    double tranformY() const { return angle_; }
    void setTranformY(double angle);

    // True when the next paint turns the face about its vertical centre line.
    bool rotatesAboutVerticalAxis() const { return yAxis_; }
    QAbstractAnimation::Direction direction() const;

signals:
    void tranformYChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double angle_ = 0.0;
    QPropertyAnimation *animation_ = nullptr;
    // The face is never shown and the timer lives outside the Qt tree; both are owned here.
    std::unique_ptr<QLabel> face_;
    std::unique_ptr<QTimer> timer_;
    bool yAxis_ = false;
    int width_ = 0;
    int height_ = 0;
    int duration_ = 0;
};
