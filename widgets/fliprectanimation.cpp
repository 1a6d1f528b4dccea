#include "fliprectanimation.h"

#include <QEasingCurve>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QRegion>
#include <QTimer>
#include <QTransform>

FlipRectAnimation::FlipRectAnimation(int width, int height, int duration, QWidget *parent)
    : QWidget(parent)
    , width_(width)
    , height_(height)
    , duration_(duration)
{
    setFixedSize(width_, height_);
    yAxis_ = false;
    angle_ = 0.0;

    face_ = std::make_unique<QLabel>();
    face_->resize(width_, height_);
    face_->setStyleSheet(QStringLiteral("background-color:#8c6927"));

    animation_ = new QPropertyAnimation(this, "tranformY", this);
    animation_->setDuration(duration_);
    animation_->setStartValue(0.0);
    animation_->setEndValue(180.0);
    animation_->setEasingCurve(QEasingCurve::InCurve);

    // Each finished run turns the next one back the way it came, about the other axis.
    connect(
        animation_, &QAbstractAnimation::finished, this,
        [this] {
            yAxis_ = !yAxis_;
            animation_->setDirection(animation_->direction() == QAbstractAnimation::Forward
                                         ? QAbstractAnimation::Backward
                                         : QAbstractAnimation::Forward);
        },
        Qt::DirectConnection);

    // Starting a running animation does nothing, so a timeout during a run is harmless.
    timer_ = std::make_unique<QTimer>();
    connect(
        timer_.get(), &QTimer::timeout, this,
        [this] { animation_->start(QAbstractAnimation::KeepWhenStopped); }, Qt::DirectConnection);
    timer_->setInterval(duration_);
    timer_->start();
}

FlipRectAnimation::~FlipRectAnimation()
{
    timer_->stop();
    timer_.reset();
    delete animation_;
    animation_ = nullptr;
    face_.reset();
}

void FlipRectAnimation::setTranformY(double angle)
{
    angle_ = angle;
    update();
}

QAbstractAnimation::Direction FlipRectAnimation::direction() const
{
    return animation_->direction();
}

void FlipRectAnimation::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    const int half_width = face_->width() / 2;
    const int half_height = face_->height() / 2;
    QTransform transform;
    if (yAxis_) {
        transform.translate(half_width, half_height);
        transform.rotate(angle_, Qt::YAxis);
        transform.translate(-half_width, -half_height);
    } else {
        transform.translate(0, half_height);
        transform.rotate(-angle_, Qt::XAxis);
        transform.translate(0, -half_height);
    }
    painter.setTransform(transform, false);

    face_->render(&painter, QPoint(0, 0), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);

    painter.end();
    QWidget::paintEvent(event);
}
