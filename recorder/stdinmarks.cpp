#include "stdinmarks.h"

#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

StdinMarks::StdinMarks(std::function<void(const QString &)> onLine, QObject *parent)
    : QObject(parent)
    , onLine_(std::move(onLine))
{
    // Without a standard input (closed by the caller) there is nothing to read.
    if (::fcntl(STDIN_FILENO, F_GETFL) == -1)
        return;
    // A recorder sent to the background of a terminal would be stopped by its first read of
    // the terminal; ignored, that read fails instead and the reading ends.
    if (::isatty(STDIN_FILENO))
        std::signal(SIGTTIN, SIG_IGN);
    notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StdinMarks::read_available);
}

void StdinMarks::read_available()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // End of the input (or an input that cannot be read): the run goes on unmarked.
        notifier_->setEnabled(false);
        if (!pending_.isEmpty())
            deliver(pending_);
        pending_.clear();
        return;
    }
    pending_.append(buffer, n);
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        deliver(pending_.left(end));
        pending_.remove(0, end + 1);
    }
}

void StdinMarks::deliver(const QByteArray &line)
{
    QString text = QString::fromUtf8(line);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    onLine_(text.left(longestText));
}
