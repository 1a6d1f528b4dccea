// The standalone simulator: prints its port, answers on it with the options
// given, links the port where asked and ends cleanly on SIGTERM.
#include "framekit.h"
#include "slaveline.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace std::chrono_literals;

class TelvaneSimTest : public QObject
{
    Q_OBJECT

private slots:
    void printsItsPortAndAnswersWithTheGivenStatus();
};

void TelvaneSimTest::printsItsPortAndAnswersWithTheGivenStatus()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("instrument");

    QProcess sim;
    sim.start(TELVANE_SIM_EXECUTABLE,
              {"--battery", "42", "--module", "--pattern", "7", "--link", link});
    QVERIFY(sim.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(port.startsWith("/dev/pts/"), qPrintable(port));
    QCOMPARE(QFileInfo(link).symLinkTarget(), port);

    SlaveLine line(link);
    QVERIFY(line.is_open());
    QVERIFY(line.write(command_packet(0x05)));
    QCOMPARE(line.read_at_least(72, 10s).left(4), QByteArray::fromHex("ff852a11"));

    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TelvaneSimTest)
#include "tst_telvanesim.moc"
