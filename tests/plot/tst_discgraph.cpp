#include "discgraph.h"

#include <QtTest>

#include <cmath>

namespace {

enum class Kind { Plain, Stamped };

struct Picture
{
    QImage image;
    QImage blank; // the same plot without its graphs
};

// Draws `channels` graphs of `points` disc scatters each (size 3, 1 px pens, as the
// live plot draws them) and returns the picture at the given export scale.
Picture draw(Kind kind, int channels, int points, double valueSpan, double scale)
{
    QCustomPlot plot;
    plot.resize(1092, 814);
    plot.xAxis->setRange(0, 5);
    plot.yAxis->setRange(-100, 100);
    Picture picture;
    picture.blank = plot.toPixmap(0, 0, scale).toImage();
    const QColor colors[] = {QColor(255, 0, 0), QColor(0, 0, 128), QColor(211, 105, 211),
                             QColor(0, 255, 0)};
    for (int c = 0; c < channels; ++c) {
        QCPGraph *graph = kind == Kind::Plain ? new QCPGraph(plot.xAxis, plot.yAxis)
                                              : new DiscGraph(plot.xAxis, plot.yAxis);
        graph->setPen(QPen(colors[c % 4], 1));
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
        for (int i = 0; i < points; ++i) {
            const double t = 5.0 * i / points;
            graph->addData(t, valueSpan * std::sin(t * 3.1 + c) + 7.3 * c);
        }
    }
    picture.image = plot.toPixmap(0, 0, scale).toImage();
    return picture;
}

int channel_difference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

// Largest per-channel difference between two pictures of the same size.
int largest_difference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            largest = std::max(largest, channel_difference(a.pixel(x, y), b.pixel(x, y)));
    return largest;
}

// Pixels of a picture that differ at all from the reference.
int pixels_changed(const QImage &a, const QImage &reference)
{
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += a.pixel(x, y) != reference.pixel(x, y) ? 1 : 0;
    return changed;
}

} // namespace

// The stamped discs must look like QCPGraph's own: same colours, sizes and
// positions, differing only in the antialiasing of edge pixels.
class TestDiscGraph : public QObject
{
    Q_OBJECT

private slots:
    void stampedDiscsMatchQtsDrawingWithinAntialiasingTolerance_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("valueSpan");
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("tolerance");

        QTest::newRow("one dense channel") << 1 << 25000 << 80.0 << 1.0 << 16;
        QTest::newRow("sixteen sparse channels") << 16 << 750 << 60.0 << 1.0 << 16;
        QTest::newRow("discs cut by the axis rect") << 2 << 400 << 140.0 << 1.0 << 16;
        // A scaled export is drawn by QCPGraph itself: the pictures are identical.
        QTest::newRow("export at twice the size") << 2 << 300 << 60.0 << 2.0 << 0;
    }
    void stampedDiscsMatchQtsDrawingWithinAntialiasingTolerance()
    {
        QFETCH(int, channels);
        QFETCH(int, points);
        QFETCH(double, valueSpan);
        QFETCH(double, scale);
        QFETCH(int, tolerance);

        const Picture plain = draw(Kind::Plain, channels, points, valueSpan, scale);
        const Picture stamped = draw(Kind::Stamped, channels, points, valueSpan, scale);
        QCOMPARE(stamped.image.size(), plain.image.size());
        // Both pictures really show the discs.
        QVERIFY(pixels_changed(plain.image, plain.blank) > 1000);
        QVERIFY(pixels_changed(stamped.image, stamped.blank) > 1000);
        QVERIFY2(largest_difference(stamped.image, plain.image) <= tolerance,
                 qPrintable(QString::number(largest_difference(stamped.image, plain.image))));
    }

    void missingValuesAndFarOffValuesDrawNothing()
    {
        QCustomPlot plot;
        plot.resize(400, 300);
        plot.xAxis->setRange(0, 5);
        plot.yAxis->setRange(-10, 10);
        const QImage blank = plot.toPixmap().toImage();
        auto *graph = new DiscGraph(plot.xAxis, plot.yAxis);
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setPen(QPen(Qt::red, 1));
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
        graph->addData({1.0, 2.0, 3.0}, {qQNaN(), 1e300, -1e300});
        QCOMPARE(pixels_changed(plot.toPixmap().toImage(), blank), 0);
    }
};

QTEST_MAIN(TestDiscGraph)
#include "tst_discgraph.moc"
