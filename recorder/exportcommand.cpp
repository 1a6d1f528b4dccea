#include "exportcommand.h"

#include "commandparser.h"
#include "console.h"
#include "csvoutput.h"
#include "emptystretch.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "rangeoptions.h"
#include "sampledatabase.h"

namespace {
const QString tableOption = QStringLiteral("table");
const QString csvOption = QStringLiteral("csv");
const QString decimalsOption = QStringLiteral("decimals");
constexpr int runDecimals = CsvExporter::voltage_decimals(CsvExporter::Precision::Run);
constexpr int fullDecimals = CsvExporter::voltage_decimals(CsvExporter::Precision::Full);
} // namespace

int ExportCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral("export --table NAME --csv FILE|- [--db FILE|URI] [--decimals 1|4] [--from "
                       "S] [--to S]"),
        QStringLiteral("Writes a run table, or the stretch of it between --from and --to, as "
                       "CSV: time with 4 decimals, voltages with 4 (default) or 1."));
    parser.add_option(
        {tableOption, QStringLiteral("Run table to export."), QStringLiteral("NAME")});
    parser.add_option({csvOption,
                       QStringLiteral("CSV file to write; - for standard output. A pipe or "
                                      "device is written in place. ") +
                           CsvOutput::sidecarHelp,
                       QStringLiteral("FILE")});
    ExistingDatabase::add_option(parser, true);
    parser.add_option(
        {decimalsOption, QStringLiteral("Decimals of the voltages: 1 or 4."), QStringLiteral("N")});
    RangeOptions::add_options(parser);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const RangeOptions stretch(parser);
    const QString table = parser.value(tableOption);
    const QString csv = parser.value(csvOption);
    const QString decimalsRange = QStringLiteral("1 or 4");
    const int decimals =
        parser.integer(decimalsOption, runDecimals, fullDecimals, decimalsRange, false)
            .value_or(fullDecimals);
    const std::optional<CsvExporter::Precision> precision = CsvExporter::precision_with(decimals);
    if (!precision) {
        parser.fail(QStringLiteral("--decimals %1 is out of range (allowed %2)")
                        .arg(decimals)
                        .arg(decimalsRange));
    }
    ExistingDatabase::check_table(parser, tableOption);
    const QString file = ExistingDatabase::file(parser);
    if (csv.isEmpty()) {
        parser.fail(QStringLiteral("--csv is required (the file to write)"));
    } else {
        CsvOutput::check_target(parser, csv, file);
    }
    int exitCode = ExitOk;
    const auto database = ExistingDatabase::open_after_checks(parser, table, &exitCode);
    if (!database) {
        return exitCode;
    }
    std::optional<TimeRange> range;
    if (stretch.is_set() && !(range = stretch.within(*database, table, &exitCode))) {
        return exitCode;
    }
    if (range && empty_stretch::refused(*database, table, *range)) {
        return ExitBadArguments;
    }
    return CsvOutput::write(*database, table, *precision, csv, range);
}
