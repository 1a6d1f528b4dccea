#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One `telvane-cli record` in a folder of its own, its output gathered as it comes while the
// test's event loop runs.
class RecorderProcess
{
public:
    // program: the telvane-cli executable.
    RecorderProcess(const QString &program, const QString &directory);
    ~RecorderProcess();
    RecorderProcess(const RecorderProcess &) = delete;
    RecorderProcess &operator=(const RecorderProcess &) = delete;

    void set_environment(const QString &name, const QString &value);
    void remove_environment(const QString &name);
    // record and arguments.
    void start(const QStringList &arguments);
    bool running() const;
    // Kills it (SIGKILL), as a crash or a power cut would end it, and waits for the end.
    void kill();
    // A line on its standard input: a mark of the run.
    void write_line(const QString &text);
    // Waits up to ms for the end; the exit code, or -1 when it did not end normally in time.
    int finish(int ms);
    // Waits until text has appeared on standard output or error.
    bool wait_for_output(const QString &text, int ms);
    // record prints its run table's name as its first line.
    QString table() const;
    QString output() const;

private:
    const QString program_;
    QProcess process_;
    QProcessEnvironment environment_;
    QByteArray out_;
    QByteArray err_;
};
