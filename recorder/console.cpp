#include "console.h"

#include <cstdio>

bool Console::statusShown_ = false;

namespace {
void write_line(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
} // namespace

void Console::out(const QString &line)
{
    write_line(stdout, line);
}

void Console::error(const QString &message)
{
    end_status();
    write_line(stderr, QStringLiteral("telvane-cli: ") + message);
}

void Console::note(const QString &message)
{
    end_status();
    write_line(stderr, message);
}

void Console::status(const QString &line)
{
    // Trailing blanks wipe what a longer previous line left behind.
    const QByteArray bytes = ("\r" + line.leftJustified(72)).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
    statusShown_ = true;
}

void Console::end_status()
{
    if (statusShown_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        statusShown_ = false;
    }
}
