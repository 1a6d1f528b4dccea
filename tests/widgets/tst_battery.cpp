#include "battery.h"

#include <QImage>
#include <QTest>

namespace {

const QString kImages = QStringLiteral(":/image/image_resource/");

bool is_dark(QRgb pixel)
{
    return qRed(pixel) < 110 && qGreen(pixel) < 110 && qBlue(pixel) < 110;
}

bool is_green(QRgb pixel)
{
    return qGreen(pixel) > 120 && qRed(pixel) < 110 && qBlue(pixel) < 110;
}

bool is_red(QRgb pixel)
{
    return qRed(pixel) > 150 && qGreen(pixel) < 110 && qBlue(pixel) < 110;
}

} // namespace

class BatteryTest : public QObject
{
    Q_OBJECT

private slots:
    void startsAtTenWithNoImage();
    void levelPicksTheImageOfItsBand_data();
    void levelPicksTheImageOfItsBand();
    void imageFillsTheWholeStatusBarSlot_data();
    void imageFillsTheWholeStatusBarSlot();
    void compiledInImagesHaveTheirSizes_data();
    void compiledInImagesHaveTheirSizes();
};

void BatteryTest::startsAtTenWithNoImage()
{
    QWidget parent;
    Battery battery(&parent);
    QCOMPARE(battery.parentWidget(), &parent);
    QCOMPARE(battery.level(), 10.0);
    QVERIFY(battery.imagePath().isEmpty());
    QVERIFY(battery.pixmap().isNull());
}

void BatteryTest::levelPicksTheImageOfItsBand_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("image");

    QTest::newRow("empty") << 0 << "battery1.png";
    QTest::newRow("just below a quarter") << 24 << "battery1.png";
    QTest::newRow("a quarter") << 25 << "battery2.png";
    QTest::newRow("just below half") << 49 << "battery2.png";
    QTest::newRow("half") << 50 << "battery3.png";
    QTest::newRow("just below three quarters") << 74 << "battery3.png";
    QTest::newRow("three quarters") << 75 << "battery4.png";
    QTest::newRow("full") << 100 << "battery4.png";
    QTest::newRow("above full") << 255 << "battery4.png";
    QTest::newRow("negative") << -5 << "battery1.png";
}

void BatteryTest::levelPicksTheImageOfItsBand()
{
    QFETCH(int, level);
    QFETCH(QString, image);

    QWidget parent;
    Battery battery(&parent);
    battery.setLevel(60); // a previous level must not leak into the next choice
    battery.setLevel(level);

    QCOMPARE(battery.level(), double(level));
    QCOMPARE(battery.imagePath(), kImages + image);
    QVERIFY(battery.hasScaledContents());
    const QImage expected(kImages + image);
    QVERIFY(!expected.isNull());
    // Compared in the pixmap's own (premultiplied) format: converting back would round
    // semi-transparent pixels differently on different processors.
    const QImage shown = battery.pixmap().toImage();
    QCOMPARE(shown, expected.convertToFormat(shown.format()));
}

void BatteryTest::imageFillsTheWholeStatusBarSlot_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("charged");

    QTest::newRow("lowest image, one row shorter") << 0 << false;
    QTest::newRow("highest image") << 100 << true;
}

// Stretched over 32 x 12 pixels, the outline reaches both ends of the label and the filled
// segments keep their colour.
void BatteryTest::imageFillsTheWholeStatusBarSlot()
{
    QFETCH(int, level);
    QFETCH(bool, charged);

    QWidget parent;
    Battery battery(&parent);
    battery.setFixedSize(32, 12);
    battery.setLevel(level);
    const QImage shown = battery.grab().toImage();
    QCOMPARE(shown.size(), QSize(32, 12));

    QVERIFY(is_dark(shown.pixel(0, 6)));  // left outline
    QVERIFY(is_dark(shown.pixel(31, 6))); // terminal at the right end
    QVERIFY(is_dark(shown.pixel(10, 0))); // top outline
    int filled = 0;
    for (int x = 0; x < 32; ++x)
        filled += charged ? is_green(shown.pixel(x, 6)) : is_red(shown.pixel(x, 6));
    QVERIFY2(filled >= (charged ? 12 : 2), qPrintable(QString::number(filled)));
}

void BatteryTest::compiledInImagesHaveTheirSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("battery1") << "battery1.png" << QSize(1238, 725);
    QTest::newRow("battery2") << "battery2.png" << QSize(1238, 726);
    QTest::newRow("battery3") << "battery3.png" << QSize(1238, 726);
    QTest::newRow("battery4") << "battery4.png" << QSize(1238, 726);
    QTest::newRow("checkbox") << "checkbox.png" << QSize(128, 128);
    QTest::newRow("checkbox-checked") << "checkbox-checked.png" << QSize(128, 128);
    QTest::newRow("down_arrow") << "down_arrow.png" << QSize(16, 16);
    QTest::newRow("up_arrow") << "up_arrow.png" << QSize(16, 16);
    QTest::newRow("logo") << "logo.ico" << QSize(256, 256);
}

void BatteryTest::compiledInImagesHaveTheirSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    const QImage image(kImages + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
}

QTEST_MAIN(BatteryTest)
#include "tst_battery.moc"
