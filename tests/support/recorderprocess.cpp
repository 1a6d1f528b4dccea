#include "recorderprocess.h"

#include <QTest>

RecorderProcess::RecorderProcess(const QString &program, const QString &directory)
    : program_(program)
{
    process_.setWorkingDirectory(directory);
    environment_ = QProcessEnvironment::systemEnvironment();
    // Runs here are small; the free-space reserve would refuse them on a nearly full disk.
    environment_.insert(QStringLiteral("TELVANE_FREE_SPACE_RESERVE"), QStringLiteral("0"));
    QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                     [this] { out_ += process_.readAllStandardOutput(); });
    QObject::connect(&process_, &QProcess::readyReadStandardError,
                     [this] { err_ += process_.readAllStandardError(); });
}

RecorderProcess::~RecorderProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(30000);
    }
}

void RecorderProcess::set_environment(const QString &name, const QString &value)
{
    environment_.insert(name, value);
}

void RecorderProcess::remove_environment(const QString &name)
{
    environment_.remove(name);
}

void RecorderProcess::start(const QStringList &arguments)
{
    process_.setProcessEnvironment(environment_);
    process_.start(program_, QStringList{QStringLiteral("record")} + arguments);
}

bool RecorderProcess::running() const
{
    return process_.state() != QProcess::NotRunning;
}

void RecorderProcess::kill()
{
    process_.kill();
    process_.waitForFinished(30000);
    out_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
}

void RecorderProcess::write_line(const QString &text)
{
    process_.write(text.toUtf8() + '\n');
}

int RecorderProcess::finish(int ms)
{
    if (!QTest::qWaitFor([this] { return !running(); }, ms)) {
        return -1;
    }
    out_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

bool RecorderProcess::wait_for_output(const QString &text, int ms)
{
    return QTest::qWaitFor([&] { return output().contains(text) || !running(); }, ms) &&
           output().contains(text);
}

QString RecorderProcess::table() const
{
    return QString::fromUtf8(out_).section(QLatin1Char('\n'), 0, 0);
}

QString RecorderProcess::output() const
{
    return QString::fromUtf8(out_ + err_);
}
