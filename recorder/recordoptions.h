#pragma once

#include "chainoptions.h"
#include "instrumentchoice.h"
#include "mirroroptions.h"
#include "protocol.h"
#include "publishoptions.h"
#include "runsettings.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CommandParser;

// The settings of one recorded run, checked against the same ceilings and
// ranges as the window: rate 1..5000 (single) or 1..150 (multi), time
// 1..10000 s, excitation -10..10 V, or -80..80 V with the attenuation module.
// The excitation range depends on the instrument, so that part of the check
// waits for its status reply.
class RecordOptions
{
public:
    static constexpr int singleRateCeiling = InstrumentLimits::singleRateCeiling;
    static constexpr int multiRateCeiling = InstrumentLimits::multiRateCeiling;
    static constexpr int timeCeiling = InstrumentLimits::timeCeiling;
    static constexpr double plainVoltLimit = InstrumentLimits::plainVoltLimit;
    static constexpr double moduleVoltLimit = InstrumentLimits::moduleVoltLimit;

    static void add_options(CommandParser &parser);
    // Reads and checks everything that does not depend on the instrument; a
    // refusal is left in the parser.
    static RecordOptions read(CommandParser &parser);

    // True when a voltage lies beyond ±10 V, which only the module allows.
    bool needs_module() const;
    // The refusal for the first voltage outside the instrument's range, or empty.
    QString voltage_error(bool modulePresent) const;

    const InstrumentChoice &instrument() const { return instrument_; }
    bool single_channel() const { return singleChannel_; }
    int rate() const { return rate_; }
    int seconds() const { return seconds_; }
    // Vout for a single-channel run, V1 to V4 for a multi-channel run, in volts
    // with three decimals as the window's spin boxes hold them.
    const QList<double> &voltages() const { return voltages_; }
    QString database_file() const { return databaseFile_; }
    // Empty when no CSV is wanted.
    QString csv_file() const { return csvFile_; }
    // --repeat, --until and --reconnect.
    const ChainOptions &chain() const { return chain_; }
    // --publish and its companions.
    const PublishOptions &publish() const { return publish_; }
    // --mirror and its companions.
    const MirrorOptions &mirror() const { return mirror_; }

    RunSettings run_settings() const;
    QByteArray start_command() const { return ::start_command(run_settings()); }

private:
    QStringList voltage_options() const;

    InstrumentChoice instrument_;
    bool singleChannel_ = true;
    int rate_ = 0;
    int seconds_ = 0;
    QList<double> voltages_;
    QString databaseFile_;
    QString csvFile_;
    ChainOptions chain_;
    PublishOptions publish_;
    MirrorOptions mirror_;
};
