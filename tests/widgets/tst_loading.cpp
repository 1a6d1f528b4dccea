#include "fliprectanimation.h"
#include "loading.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace {

const QString kDialogSheet =
    QStringLiteral("\n        QDialog { \n            background-color: white; "
                   "\n            border: 1px solid #8c6927;\n        }\n    ");
const QString kLabelSheet = QStringLiteral("\n        color: #8c6927;\n        font-size: 20px;\n"
                                           "        font-weight: bold;\n"
                                           "        qproperty-alignment: 'AlignCenter';\n    ");
constexpr int kGiveUpMs = 30000;
constexpr int kGaveUp = 99;

// Runs the dialog modally; `poll` is called every 10 ms inside its event loop. Should the
// dialog never end, it is ended after a long time-out with a result no caller uses.
int exec_while_polling(Loading &dialog, const std::function<void()> &poll)
{
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, &dialog, poll);
    poller.start(10);
    QTimer::singleShot(kGiveUpMs, &dialog, [&dialog] { dialog.done(kGaveUp); });
    return dialog.exec();
}

} // namespace

class LoadingTest : public QObject
{
    Q_OBJECT

private slots:
    void windowIsAFramelessFixedSquareAboveOthers();
    void flipSitsCentredAboveTheText();
    void longTextIsClippedByTheLabel();
    void escapeEndsTheDialogRejected();
    void closingFromAPollingTimerEndsExecWhileTheFlipTurns();
};

void LoadingTest::windowIsAFramelessFixedSquareAboveOthers()
{
    Loading dialog(QStringLiteral("Export"));
    QCOMPARE(dialog.parentWidget(), nullptr);
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dialog.minimumSize(), QSize(200, 200));
    QCOMPARE(dialog.maximumSize(), QSize(200, 200));
    QCOMPARE(dialog.styleSheet(), kDialogSheet);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(200, 200));
    const QImage image = dialog.grab().toImage();
    QCOMPARE(image.pixelColor(100, 2), QColor(Qt::white));
    QCOMPARE(image.pixelColor(0, 100), QColor(0x8c, 0x69, 0x27)); // the thin border
}

void LoadingTest::flipSitsCentredAboveTheText()
{
    Loading dialog(QStringLiteral("Export"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    const QList<FlipRectAnimation *> flips = dialog.findChildren<FlipRectAnimation *>();
    QCOMPARE(flips.size(), 1);
    FlipRectAnimation *flip = flips.first();
    QCOMPARE(flip->parentWidget(), &dialog);
    QCOMPARE(flip->size(), QSize(50, 50));
    QCOMPARE(flip->findChild<QPropertyAnimation *>()->duration(), 500);

    const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
    QCOMPARE(labels.size(), 1);
    QLabel *label = labels.first();
    QCOMPARE(label->text(), QStringLiteral("Export"));
    QCOMPARE(label->styleSheet(), kLabelSheet);
    QCOMPARE(label->size(), QSize(180, 20));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->font().pixelSize(), 20);
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x8c, 0x69, 0x27));

    auto *main_layout = qobject_cast<QVBoxLayout *>(dialog.layout());
    QVERIFY(main_layout);
    QCOMPARE(main_layout->spacing(), 5);
    QCOMPARE(main_layout->alignment(), Qt::AlignVCenter);
    QCOMPARE(main_layout->count(), 2);
    auto *flip_row = qobject_cast<QHBoxLayout *>(main_layout->itemAt(0)->layout());
    QVERIFY(flip_row);
    QCOMPARE(flip_row->alignment(), Qt::AlignHCenter);
    QCOMPARE(flip_row->indexOf(flip), 0);
    QCOMPARE(main_layout->indexOf(label), 1);

    // Horizontally centred, directly above the text, the pair centred vertically.
    const QRect f = flip->geometry();
    const QRect l = label->geometry();
    QVERIFY2(std::abs(f.center().x() - dialog.rect().center().x()) <= 1,
             qPrintable(QStringLiteral("flip at x %1").arg(f.x())));
    QCOMPARE(l.top(), f.bottom() + 1 + 5);
    QVERIFY(dialog.rect().contains(l));
    const int middle = (f.top() + l.bottom()) / 2;
    QVERIFY2(std::abs(middle - dialog.rect().center().y()) <= 1,
             qPrintable(QStringLiteral("content from y %1 to %2").arg(f.top()).arg(l.bottom())));
}

void LoadingTest::longTextIsClippedByTheLabel()
{
    Loading dialog(QStringLiteral("Exporting a very long run table to a file"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *label = dialog.findChild<QLabel *>();
    QVERIFY(label->sizeHint().width() > 180);
    QCOMPARE(label->size(), QSize(180, 20));
    QCOMPARE(dialog.size(), QSize(200, 200));
}

void LoadingTest::escapeEndsTheDialogRejected()
{
    Loading dialog(QStringLiteral("Export"));
    const int result = exec_while_polling(dialog, [&dialog] {
        if (dialog.isVisible())
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void LoadingTest::closingFromAPollingTimerEndsExecWhileTheFlipTurns()
{
    Loading dialog(QStringLiteral("Export"));
    auto *flip = dialog.findChild<FlipRectAnimation *>();
    bool turned = false;
    const int result = exec_while_polling(dialog, [&] {
        // The modal loop keeps the flip going; close once it has turned a little.
        if (flip->tranformY() > 0.0 && !turned) {
            turned = true;
            dialog.close();
        }
    });
    QVERIFY(turned);
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(LoadingTest)
#include "tst_loading.moc"
