#include "fliprectanimation.h"

#include <QImage>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdlib>

namespace {

const QRgb kAccent = qRgb(0x8c, 0x69, 0x27);
// Long enough that the restart timer never fires while a test looks at a still picture.
constexpr int kStillDurationMs = 600000;

// Closer to the accent than to the window background behind it, antialiased edges included.
bool is_face(QRgb pixel)
{
    const int distance = std::abs(qRed(pixel) - qRed(kAccent)) +
                         std::abs(qGreen(pixel) - qGreen(kAccent)) +
                         std::abs(qBlue(pixel) - qBlue(kAccent));
    return distance < 150;
}

struct Coverage
{
    double fraction = 0.0;
    QRect bounds; // of the pixels the face covers
};

Coverage face_coverage(const QImage &image)
{
    int covered = 0;
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!is_face(image.pixel(x, y)))
                continue;
            ++covered;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    Coverage result;
    result.fraction = double(covered) / (image.width() * image.height());
    if (covered > 0)
        result.bounds = QRect(QPoint(left, top), QPoint(right, bottom));
    return result;
}

QPropertyAnimation *animation_of(FlipRectAnimation &flip)
{
    return flip.findChild<QPropertyAnimation *>();
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class FlipRectAnimationTest : public QObject
{
    Q_OBJECT

private slots:
    void freshWidgetIsStillAndSizedToItsArguments();
    void paintBeforeTheFirstFlipShowsThePlainRectangle();
    void faceTurnsAboutTheCentreLineOfTheCurrentAxis_data();
    void faceTurnsAboutTheCentreLineOfTheCurrentAxis();
    void writingThePropertyRepaintsAtThatAngle();
    void nothingMovesDuringTheFirstInterval();
    void runsAlternateAxisAndDirection();
    void destroyedWhileFlippingLeavesTheParentClean();
};

void FlipRectAnimationTest::freshWidgetIsStillAndSizedToItsArguments()
{
    FlipRectAnimation flip(40, 30, kStillDurationMs, nullptr);
    QCOMPARE(flip.size(), QSize(40, 30));
    QCOMPARE(flip.minimumSize(), QSize(40, 30));
    QCOMPARE(flip.maximumSize(), QSize(40, 30));
    QCOMPARE(flip.tranformY(), 0.0);
    QVERIFY(!flip.rotatesAboutVerticalAxis());
    QCOMPARE(flip.direction(), QAbstractAnimation::Forward);

    QPropertyAnimation *animation = animation_of(flip);
    QVERIFY(animation);
    QCOMPARE(animation->targetObject(), &flip);
    QCOMPARE(animation->propertyName(), QByteArray("tranformY"));
    QCOMPARE(animation->state(), QAbstractAnimation::Stopped);
    QCOMPARE(animation->duration(), kStillDurationMs);
    QCOMPARE(animation->easingCurve().type(), QEasingCurve::InCurve);
    // The face is never part of the widget tree.
    QVERIFY(flip.findChildren<QWidget *>().isEmpty());
}

void FlipRectAnimationTest::paintBeforeTheFirstFlipShowsThePlainRectangle()
{
    FlipRectAnimation flip(40, 30, kStillDurationMs, nullptr);
    const QImage image = flip.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(40, 30));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), kAccent);
}

void FlipRectAnimationTest::faceTurnsAboutTheCentreLineOfTheCurrentAxis_data()
{
    QTest::addColumn<bool>("verticalAxis");
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("minFraction");
    QTest::addColumn<double>("maxFraction");

    QTest::newRow("horizontal axis, 60 degrees: half height") << false << 60.0 << 0.4 << 0.6;
    QTest::newRow("horizontal axis, 90 degrees: edge on") << false << 90.0 << 0.0 << 0.05;
    QTest::newRow("horizontal axis, 180 degrees: upside down") << false << 180.0 << 1.0 << 1.0;
    QTest::newRow("vertical axis, 0 degrees: face on") << true << 0.0 << 1.0 << 1.0;
    QTest::newRow("vertical axis, 60 degrees: half width") << true << 60.0 << 0.4 << 0.6;
    QTest::newRow("vertical axis, 90 degrees: edge on") << true << 90.0 << 0.0 << 0.05;
    QTest::newRow("vertical axis, 180 degrees: mirrored") << true << 180.0 << 1.0 << 1.0;
}

void FlipRectAnimationTest::faceTurnsAboutTheCentreLineOfTheCurrentAxis()
{
    QFETCH(bool, verticalAxis);
    QFETCH(double, angle);
    QFETCH(double, minFraction);
    QFETCH(double, maxFraction);

    FlipRectAnimation flip(40, 30, kStillDurationMs, nullptr);
    if (verticalAxis)
        emit animation_of(flip)->finished(); // as at the end of the first run
    QCOMPARE(flip.rotatesAboutVerticalAxis(), verticalAxis);
    flip.setTranformY(angle);

    const QImage image = flip.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const Coverage coverage = face_coverage(image);
    QVERIFY2(coverage.fraction >= minFraction && coverage.fraction <= maxFraction,
             qPrintable(QStringLiteral("face covers %1 of the widget").arg(coverage.fraction)));
    if (coverage.fraction < 0.1 || coverage.fraction == 1.0)
        return;

    // A partly turned face keeps its full extent along the axis and stays centred across it.
    const QRect &b = coverage.bounds;
    if (verticalAxis) {
        QCOMPARE(b.top(), 0);
        QCOMPARE(b.bottom(), image.height() - 1);
        QVERIFY(b.left() > 0);
        QVERIFY2(std::abs(b.left() - (image.width() - 1 - b.right())) <= 1,
                 qPrintable(QStringLiteral("columns %1..%2").arg(b.left()).arg(b.right())));
    } else {
        QCOMPARE(b.left(), 0);
        QCOMPARE(b.right(), image.width() - 1);
        QVERIFY(b.top() > 0);
        QVERIFY2(std::abs(b.top() - (image.height() - 1 - b.bottom())) <= 1,
                 qPrintable(QStringLiteral("rows %1..%2").arg(b.top()).arg(b.bottom())));
    }
}

void FlipRectAnimationTest::writingThePropertyRepaintsAtThatAngle()
{
    FlipRectAnimation flip(40, 40, kStillDurationMs, nullptr);
    PaintCounter counter;
    flip.installEventFilter(&counter);
    flip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&flip));
    QTRY_VERIFY_WITH_TIMEOUT(counter.paints > 0, 10000);

    QSignalSpy changed(&flip, &FlipRectAnimation::tranformYChanged);
    counter.paints = 0;
    QVERIFY(flip.setProperty("tranformY", 90.0));
    QCOMPARE(flip.tranformY(), 90.0);
    QCOMPARE(flip.property("tranformY").toDouble(), 90.0);
    QTRY_VERIFY_WITH_TIMEOUT(counter.paints > 0, 10000);
    QCOMPARE(changed.count(), 0);

    const QImage image = flip.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(face_coverage(image).fraction < 0.05);
}

void FlipRectAnimationTest::nothingMovesDuringTheFirstInterval()
{
    constexpr int kDurationMs = 500;
    // A reference timer started before the widget's own and due at 90 % of the interval,
    // sooner than the widget's even if that one fires the 5 % early a coarse timer may. Qt
    // fires due timers in the order of their deadlines, so the reference always comes first,
    // however late a busy machine runs the event loop: what it sees is the first interval.
    QStringList events;
    QTimer reference;
    reference.setTimerType(Qt::PreciseTimer);
    reference.setSingleShot(true);
    reference.start(kDurationMs * 9 / 10);
    FlipRectAnimation flip(40, 40, kDurationMs, nullptr);
    QPropertyAnimation *animation = animation_of(flip);

    double angle_at_start = -1.0;
    connect(&reference, &QTimer::timeout, &flip, [&] {
        events.append(
            QStringLiteral("reference, animation %1 at %2")
                .arg(animation->state() == QAbstractAnimation::Stopped ? "stopped" : "running")
                .arg(flip.tranformY()));
    });
    connect(animation, &QAbstractAnimation::stateChanged, &flip,
            [&](QAbstractAnimation::State state) {
                if (state == QAbstractAnimation::Running && angle_at_start < 0) {
                    events.append(QStringLiteral("first flip"));
                    angle_at_start = flip.tranformY();
                }
            });
    QCOMPARE(animation->state(), QAbstractAnimation::Stopped);
    QCOMPARE(flip.tranformY(), 0.0);

    QTRY_VERIFY_WITH_TIMEOUT(events.size() == 2, 30000);
    QCOMPARE(events, (QStringList{QStringLiteral("reference, animation stopped at 0"),
                                  QStringLiteral("first flip")}));
    QCOMPARE(angle_at_start, 0.0);
}

void FlipRectAnimationTest::runsAlternateAxisAndDirection()
{
    constexpr int kRuns = 4;
    FlipRectAnimation flip(20, 20, 30, nullptr);
    QPropertyAnimation *animation = animation_of(flip);

    struct Run
    {
        QAbstractAnimation::Direction direction = QAbstractAnimation::Forward;
        bool vertical_axis = false;
        QList<double> angles;
    };
    QList<Run> runs;
    bool recording = false;
    connect(animation, &QAbstractAnimation::stateChanged, &flip,
            [&](QAbstractAnimation::State state) {
                if (state == QAbstractAnimation::Running && runs.size() < kRuns) {
                    runs.append({flip.direction(), flip.rotatesAboutVerticalAxis(), {}});
                    recording = true;
                }
            });
    connect(animation, &QVariantAnimation::valueChanged, &flip, [&](const QVariant &value) {
        if (recording)
            runs.last().angles.append(value.toDouble());
    });
    connect(animation, &QAbstractAnimation::finished, &flip, [&] { recording = false; });

    QTRY_VERIFY_WITH_TIMEOUT(runs.size() == kRuns && !recording, 60000);
    for (int i = 0; i < kRuns; ++i) {
        const Run &run = runs.at(i);
        const bool odd = i % 2 == 1;
        QCOMPARE(run.direction, odd ? QAbstractAnimation::Backward : QAbstractAnimation::Forward);
        QCOMPARE(run.vertical_axis, odd);
        QVERIFY(!run.angles.isEmpty());
        QCOMPARE(run.angles.last(), odd ? 0.0 : 180.0);
        for (int k = 1; k < run.angles.size(); ++k) {
            if (odd)
                QVERIFY(run.angles.at(k) <= run.angles.at(k - 1));
            else
                QVERIFY(run.angles.at(k) >= run.angles.at(k - 1));
        }
    }
}

void FlipRectAnimationTest::destroyedWhileFlippingLeavesTheParentClean()
{
    QWidget parent;
    auto *flip = new FlipRectAnimation(20, 20, 200, &parent);
    QPropertyAnimation *animation = animation_of(*flip);
    QTRY_VERIFY_WITH_TIMEOUT(animation->state() == QAbstractAnimation::Running, 30000);

    delete flip;
    QVERIFY(parent.findChildren<QObject *>().isEmpty());
    // The event loop goes on without the timer or the animation touching the dead widget.
    // Two intervals on a timer started now: Qt fires due timers in the order of their
    // deadlines, so a surviving restart timer would have fired first.
    bool waited = false;
    QTimer::singleShot(400, Qt::PreciseTimer, &parent, [&waited] { waited = true; });
    QTRY_VERIFY_WITH_TIMEOUT(waited, 30000);
}

QTEST_MAIN(FlipRectAnimationTest)
#include "tst_fliprectanimation.moc"
