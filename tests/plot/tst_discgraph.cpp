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

        QTest::newRow("one channel") << 1 << 160 << 80.0 << 1.0 << 16;
        QTest::newRow("sixteen channels") << 16 << 150 << 60.0 << 1.0 << 16;
        QTest::newRow("discs cut by the axis rect") << 2 << 100 << 140.0 << 1.0 << 16;
        // A scaled export is drawn by QCPGraph itself: the pictures are identical.
        QTest::newRow("export at twice the size") << 2 << 150 << 60.0 << 2.0 << 0;
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

    // An envelope as the plot loads it (each bucket's minimum and maximum at one key),
    // drawn as a band: a spike of one sample lies in one bucket only, and the band must
    // still reach it, up or down, however many buckets share a pixel column.
    void envelopeBandReachesAOneSampleSpike_data()
    {
        QTest::addColumn<double>("bucketsPerColumn");
        QTest::addColumn<double>("spike");
        QTest::addColumn<bool>("underAnotherBand");

        QTest::newRow("one bucket per pixel column, spike up") << 1.0 << 80.0 << false;
        QTest::newRow("one bucket per pixel column, spike down") << 1.0 << -80.0 << false;
        QTest::newRow("three buckets per pixel column") << 3.0 << 80.0 << false;
        QTest::newRow("a bucket every other pixel column") << 0.5 << 80.0 << false;
        // The later band covers the earlier one's body; the spike still shows above it.
        QTest::newRow("under another band") << 1.0 << 80.0 << true;
    }
    void envelopeBandReachesAOneSampleSpike()
    {
        QFETCH(double, bucketsPerColumn);
        QFETCH(double, spike);
        QFETCH(bool, underAnotherBand);

        QCustomPlot plot;
        plot.resize(1092, 814);
        plot.xAxis->setRange(0, 1000);
        plot.yAxis->setRange(-100, 100);
        plot.replot(); // lays out the axis rect
        auto *graph = new DiscGraph(plot.xAxis, plot.yAxis);
        const QColor colour(0, 0, 128);
        graph->setPen(QPen(colour, 1));
        graph->setAntialiased(false);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
        graph->set_look(DiscGraph::Look::EnvelopeBand);
        const int buckets = int(plot.axisRect()->width() * bucketsPerColumn);
        const int spikeBucket = buckets / 2 + 1;
        const auto wave = [](int b) {
            return 10.0 * std::sin(b * 0.05);
        };
        for (int b = 0; b < buckets; ++b) {
            const double key = 1000.0 * (b + 0.5) / buckets;
            graph->addData(key, wave(b) - 5.0 + (b == spikeBucket && spike < 0 ? spike : 0.0));
            graph->addData(key, wave(b) + 5.0 + (b == spikeBucket && spike > 0 ? spike : 0.0));
        }
        const QColor coverColour(0, 255, 0);
        if (underAnotherBand) {
            auto *cover = new DiscGraph(plot.xAxis, plot.yAxis);
            cover->setPen(QPen(coverColour, 1));
            cover->setAntialiased(false);
            cover->set_look(DiscGraph::Look::EnvelopeBand);
            for (int b = 0; b < buckets; ++b) {
                cover->addData(1000.0 * (b + 0.5) / buckets, -30.0);
                cover->addData(1000.0 * (b + 0.5) / buckets, 30.0);
            }
        }
        const QImage image = plot.toPixmap().toImage();

        const double spikeKey = 1000.0 * (spikeBucket + 0.5) / buckets;
        const int column = int(plot.xAxis->coordToPixel(spikeKey));
        const double tipValue = wave(spikeBucket) + (spike > 0 ? 5.0 : -5.0) + spike;
        const int tip = int(std::lround(plot.yAxis->coordToPixel(tipValue)));
        // The band is filled between its edges, and its tip is drawn out to the spike's
        // value in the spike's pixel column or a neighbour.
        const int before = spikeBucket - 10;
        QCOMPARE(image.pixel(int(plot.xAxis->coordToPixel(1000.0 * (before + 0.5) / buckets)),
                             int(plot.yAxis->coordToPixel(wave(before)))),
                 (underAnotherBand ? coverColour : colour).rgb());
        int reach = spike > 0 ? image.height() : -1;
        for (int x = column - 1; x <= column + 1; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixel(x, y) == colour.rgb())
                    reach = spike > 0 ? std::min(reach, y) : std::max(reach, y);
            }
        }
        QVERIFY2(
            std::abs(reach - tip) <= 1,
            qPrintable(QStringLiteral("band reaches row %1, spike at %2").arg(reach).arg(tip)));
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
