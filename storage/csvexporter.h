#pragma once

#include "runexporter.h"

#include <optional>

// Exports a run as CSV (see write_table_csv) with its sidecar beside a file (see run_sidecar).
// Who the CSV is for decides how many decimals its voltages get, here and nowhere else.
class CsvExporter : public RunExporter
{
public:
    enum class Precision {
        Run,  // a run as the window's Save and record --csv write it: one decimal
        Full, // a run written whole for later work (left by a crash; export's default): four
    };

    static constexpr int voltage_decimals(Precision precision)
    {
        return precision == Precision::Run ? 1 : 4;
    }
    // The precision whose voltages have that many decimals; nothing for another count.
    static std::optional<Precision> precision_with(int decimals);

    explicit CsvExporter(Precision precision);

    QString extension() const override;
    bool needs_gui_thread() const override { return false; }
    Status write(const Request &request) override;

private:
    Status write_with_sidecar(const Request &request) const;

    int voltageDecimals_;
};
