#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <functional>

// The folders are layers: each may include its own headers and those of the layers it stands
// on, never one above it, and no two files include each other, even through others.
class LayersTest : public QObject
{
    Q_OBJECT

private slots:
    void everyFolderIncludesOnlyTheLayersBelowIt();
    void noFilesIncludeEachOtherInALoop();

private:
    struct SourceFile
    {
        QString folder;            // the layer it belongs to
        QString unit;              // folder/name without extension: a header and its source
        QStringList includedNames; // quoted includes, file names only
    };
    static QList<SourceFile> read_sources();
    // The header's owning unit, by file name (names are unique across the layers).
    static QHash<QString, QString> header_units(const QList<SourceFile> &files);
};

namespace {

const QHash<QString, QStringList> &layers_below()
{
    static const QHash<QString, QStringList> below{
        {QStringLiteral("core"), {}},
        {QStringLiteral("logging"), {"core"}},
        {QStringLiteral("device"), {"core", "logging"}},
        {QStringLiteral("storage"), {"core", "logging", "device"}},
        {QStringLiteral("pipeline"), {"core", "logging", "device", "storage"}},
        {QStringLiteral("mqtt"), {"core", "logging", "device", "storage"}},
        {QStringLiteral("pg"), {"core", "logging", "device", "storage"}},
        {QStringLiteral("resources"), {}},
        {QStringLiteral("widgets"), {"core", "resources"}},
        {QStringLiteral("plot"),
         {"core", "logging", "device", "storage", "pipeline", "widgets", "resources"}},
        {QStringLiteral("simulator"), {}},
        {QStringLiteral("recorder"),
         {"core", "logging", "device", "storage", "pipeline", "mqtt", "pg", "simulator"}},
        {QStringLiteral("app"),
         {"core", "logging", "device", "storage", "pipeline", "mqtt", "pg", "widgets", "resources",
          "plot", "simulator"}},
    };
    return below;
}

} // namespace

QList<LayersTest::SourceFile> LayersTest::read_sources()
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    const QString root = QStringLiteral(TELVANE_SOURCE_DIR);
    QList<SourceFile> files;
    for (const QString &folder : layers_below().keys()) {
        QDirIterator it(root + QLatin1Char('/') + folder, {"*.h", "*.cpp"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                qFatal("cannot read %s", qPrintable(path));
            }
            SourceFile source;
            source.folder = folder;
            const QString relative = path.mid(root.size() + 1);
            source.unit = relative.left(relative.lastIndexOf(QLatin1Char('.')));
            const QString text = QString::fromUtf8(file.readAll());
            for (auto m = include.globalMatch(text); m.hasNext();) {
                source.includedNames << m.next().captured(1).section(QLatin1Char('/'), -1);
            }
            files << source;
        }
    }
    return files;
}

QHash<QString, QString> LayersTest::header_units(const QList<SourceFile> &files)
{
    QHash<QString, QString> units;
    for (const SourceFile &file : files) {
        const QString name = file.unit.section(QLatin1Char('/'), -1) + QLatin1String(".h");
        if (QFile::exists(QStringLiteral(TELVANE_SOURCE_DIR "/") + file.unit + ".h")) {
            units.insert(name, file.unit);
        }
    }
    return units;
}

void LayersTest::everyFolderIncludesOnlyTheLayersBelowIt()
{
    const QList<SourceFile> files = read_sources();
    QVERIFY(files.size() > 100);
    const QHash<QString, QString> units = header_units(files);
    QStringList wrong;
    for (const SourceFile &file : files) {
        for (const QString &name : file.includedNames) {
            const QString unit = units.value(name);
            if (unit.isEmpty()) {
                continue; // a Qt, system or generated header
            }
            const QString folder = unit.section(QLatin1Char('/'), 0, 0);
            if (folder != file.folder && !layers_below().value(file.folder).contains(folder)) {
                wrong << file.unit + QLatin1String(" includes ") + unit;
            }
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("\n"))));
}

void LayersTest::noFilesIncludeEachOtherInALoop()
{
    const QList<SourceFile> files = read_sources();
    const QHash<QString, QString> units = header_units(files);
    QHash<QString, QSet<QString>> edges;
    for (const SourceFile &file : files) {
        for (const QString &name : file.includedNames) {
            const QString unit = units.value(name);
            if (!unit.isEmpty() && unit != file.unit) {
                edges[file.unit].insert(unit);
            }
        }
    }
    // A depth-first walk: an edge back to a unit on the current path closes a loop.
    QHash<QString, int> state; // 1 on the path, 2 done
    QStringList path;
    QStringList loops;
    std::function<void(const QString &)> visit = [&](const QString &unit) {
        state[unit] = 1;
        path << unit;
        for (const QString &next : edges.value(unit)) {
            if (state.value(next) == 1) {
                loops << path.mid(path.indexOf(next)).join(QLatin1String(" -> ")) +
                             QLatin1String(" -> ") + next;
            } else if (state.value(next) == 0) {
                visit(next);
            }
        }
        path.removeLast();
        state[unit] = 2;
    };
    for (auto it = edges.cbegin(); it != edges.cend(); ++it) {
        if (state.value(it.key()) == 0) {
            visit(it.key());
        }
    }
    QVERIFY2(loops.isEmpty(), qPrintable(loops.join(QLatin1String("\n"))));
}

QTEST_GUILESS_MAIN(LayersTest)
#include "tst_layers.moc"
