#include "recordoptions.h"

#include "commandparser.h"
#include "csvfilenames.h"
#include "csvoutput.h"
#include "existingdatabase.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>

namespace {
const QString modeOption = QStringLiteral("mode");
const QString rateOption = QStringLiteral("rate");
const QString timeOption = QStringLiteral("time");
const QString voutOption = QStringLiteral("vout");
const QStringList multiVoltOptions = {QStringLiteral("v1"), QStringLiteral("v2"),
                                      QStringLiteral("v3"), QStringLiteral("v4")};
const QString csvOption = QStringLiteral("csv");

const QString fullVoltRange = QStringLiteral("-10..10 V, or -80..80 V with the attenuation module");

// The window's spin boxes hold three decimals.
double to_spin_box_precision(double volts)
{
    return std::round(volts * 1000.0) / 1000.0;
}

QString rate_range(bool singleChannel)
{
    return singleChannel ? QStringLiteral("1..%1 points per second in single mode")
                               .arg(RecordOptions::singleRateCeiling)
                         : QStringLiteral("1..%1 points per second in multi mode")
                               .arg(RecordOptions::multiRateCeiling);
}

QString out_of_range(const QString &option, double volts, const QString &range)
{
    return QStringLiteral("%1 %2 is out of range (allowed %3)")
        .arg(CommandParser::option_text(option), QString::number(volts), range);
}
} // namespace

void RecordOptions::add_options(CommandParser &parser)
{
    InstrumentChoice::add_options(parser);
    parser.add_option(
        {modeOption, QStringLiteral("single or multi (channels)."), QStringLiteral("MODE")});
    parser.add_option({rateOption,
                       QStringLiteral("Points per second: 1..%1 single, 1..%2 multi.")
                           .arg(singleRateCeiling)
                           .arg(multiRateCeiling),
                       QStringLiteral("N")});
    parser.add_option({timeOption,
                       QStringLiteral("Collection time in seconds: 1..%1.").arg(timeCeiling),
                       QStringLiteral("S")});
    parser.add_option({voutOption, QStringLiteral("Excitation in single mode, volts (default 0)."),
                       QStringLiteral("V")});
    for (int i = 0; i < multiVoltOptions.size(); ++i) {
        parser.add_option(
            {multiVoltOptions[i],
             QStringLiteral("Excitation V%1 in multi mode, volts (default 0).").arg(i + 1),
             QStringLiteral("V")});
    }
    ExistingDatabase::add_option(parser);
    parser.add_option({csvOption,
                       QStringLiteral("Also export the run to this CSV file (a pipe or device "
                                      "is written in place). ") +
                           CsvOutput::sidecarHelp,
                       QStringLiteral("FILE")});
    ChainOptions::add_options(parser);
    PublishOptions::add_options(parser);
    MirrorOptions::add_options(parser);
}

RecordOptions RecordOptions::read(CommandParser &parser)
{
    RecordOptions options;
    options.instrument_ = InstrumentChoice::read(parser);

    const QString mode = parser.value(modeOption);
    if (!parser.is_set(modeOption)) {
        parser.fail(QStringLiteral("--mode is required (single or multi)"));
    } else if (mode != QLatin1String("single") && mode != QLatin1String("multi")) {
        parser.fail(QStringLiteral("--mode \"%1\" is unknown (allowed single or multi)").arg(mode));
    }
    options.singleChannel_ = mode != QLatin1String("multi");

    const int rateCeiling = options.singleChannel_ ? singleRateCeiling : multiRateCeiling;
    options.rate_ =
        parser.integer(rateOption, 1, rateCeiling, rate_range(options.singleChannel_)).value_or(0);
    options.seconds_ =
        parser.integer(timeOption, 1, timeCeiling, QStringLiteral("1..%1 seconds").arg(timeCeiling))
            .value_or(0);

    const QStringList own = options.voltage_options();
    const QStringList other = options.singleChannel_ ? multiVoltOptions : QStringList{voutOption};
    for (const QString &name : other) {
        if (parser.is_set(name)) {
            parser.fail(QStringLiteral("%1 applies to %2 mode only")
                            .arg(CommandParser::option_text(name), options.singleChannel_
                                                                       ? QStringLiteral("multi")
                                                                       : QStringLiteral("single")));
        }
    }
    for (const QString &name : own) {
        double volts = 0.0;
        if (parser.is_set(name)) {
            volts = to_spin_box_precision(parser.number(name, fullVoltRange).value_or(0.0));
            if (std::abs(volts) > moduleVoltLimit) {
                parser.fail(out_of_range(name, volts, fullVoltRange));
            }
        }
        options.voltages_.append(volts);
    }

    options.databaseFile_ = ExistingDatabase::file(parser);
    if (options.databaseFile_.isEmpty()) {
        parser.fail(QStringLiteral("--db needs a file name"));
    } else if (QFileInfo(options.databaseFile_).isDir()) {
        parser.fail(
            QStringLiteral("--db %1 is a folder, not a database file").arg(options.databaseFile_));
    } else if (ExistingDatabase::holds_other_data(options.databaseFile_)) {
        // A missing or empty file becomes a new database; anything else would be overwritten.
        parser.fail(QStringLiteral("--db %1 is not an SQLite database; recording into it would "
                                   "overwrite what it holds")
                        .arg(options.databaseFile_));
    }
    const QDateTime now = QDateTime::currentDateTime();
    options.chain_ = ChainOptions::read(parser, now);
    options.publish_ = PublishOptions::read(parser);
    options.mirror_ = MirrorOptions::read(parser);
    if (parser.is_set(csvOption)) {
        options.csvFile_ = parser.value(csvOption);
        // The first run's file stands for all: they differ only in the fields or number.
        const QString firstFile =
            CsvFileNames(options.csvFile_, options.chain_.is_chain()).file_for_run(1, now);
        if (options.csvFile_.isEmpty()) {
            parser.fail(QStringLiteral("--csv needs a file name"));
        } else if (options.csvFile_ == CsvOutput::standardOutput) {
            parser.fail(QStringLiteral("--csv - (standard output) cannot be used with record: "
                                       "its standard output carries the table name"));
        } else if (const QString error = CsvFileNames::pattern_error(options.csvFile_);
                   !error.isEmpty()) {
            parser.fail(error);
        } else {
            CsvOutput::check_target(parser, firstFile, options.databaseFile_);
            CsvOutput::check_writable(parser, firstFile);
        }
    }
    return options;
}

bool RecordOptions::needs_module() const
{
    for (const double volts : voltages_) {
        if (std::abs(volts) > plainVoltLimit) {
            return true;
        }
    }
    return false;
}

QString RecordOptions::voltage_error(bool modulePresent) const
{
    const double limit = modulePresent ? moduleVoltLimit : plainVoltLimit;
    const QString range =
        modulePresent ? QStringLiteral("-80..80 V with the attenuation module")
                      : QStringLiteral("-10..10 V; the instrument reports no attenuation module");
    const QStringList names = voltage_options();
    for (int i = 0; i < voltages_.size() && i < names.size(); ++i) {
        if (std::abs(voltages_[i]) > limit) {
            return out_of_range(names[i], voltages_[i], range);
        }
    }
    return {};
}

RunSettings RecordOptions::run_settings() const
{
    RunSettings settings;
    settings.singleChannel = singleChannel_;
    settings.rate = rate_;
    settings.seconds = seconds_;
    settings.voltages = voltages_;
    return settings;
}

QStringList RecordOptions::voltage_options() const
{
    return singleChannel_ ? QStringList{voutOption} : multiVoltOptions;
}
