// Writes the application's images into the folder given on the command line, or with
// --icon FILE only the application icon as a PNG (the build makes the desktop icon so).
#include "artwork.h"
#include "icofile.h"

#include <QDir>
#include <QImage>

#include <cstdio>
#include <cstring>

namespace {

bool save(const QImage &image, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    const bool ok =
        name.endsWith(QLatin1String(".ico")) ? write_ico(image, path) : image.save(path, "PNG");
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--icon") == 0) {
        const QString path = QString::fromLocal8Bit(argv[2]);
        if (!artwork::logo().save(path, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <image folder> | --icon <file.png>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists()) {
        std::fprintf(stderr, "no such folder: %s\n", argv[1]);
        return 2;
    }

    bool ok = true;
    for (int level = 1; level <= 4; ++level)
        ok &= save(artwork::battery(level), dir, QStringLiteral("battery%1.png").arg(level));
    ok &= save(artwork::checkbox(false), dir, QStringLiteral("checkbox.png"));
    ok &= save(artwork::checkbox(true), dir, QStringLiteral("checkbox-checked.png"));
    ok &= save(artwork::arrow(false), dir, QStringLiteral("down_arrow.png"));
    ok &= save(artwork::arrow(true), dir, QStringLiteral("up_arrow.png"));
    ok &= save(artwork::logo(), dir, QStringLiteral("logo.ico"));
    return ok ? 0 : 1;
}
