#include "faultplan.h"

#include "instrumentframes.h"
#include "instrumentsimulator.h"
#include "storedmillivolts.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {
constexpr float markerVolts = 40.0f; // bytes 00 00 20 42: no 0xFF, no 0x0D 0x0A

// Floats whose little-endian bytes include 0xFF, all near +-32 V.
constexpr std::array<quint32, 4> ffPatterns = {0x41FFFFFFu, 0xC1FFFFFFu, 0x41FF00FFu, 0xC1FFFF00u};

float from_bits(quint32 bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::array<float, InstrumentFrames::slot_count> ff_volts()
{
    std::array<float, InstrumentFrames::slot_count> volts{};
    for (std::size_t i = 0; i < volts.size(); ++i)
        volts[i] = from_bits(ffPatterns[i % ffPatterns.size()]);
    return volts;
}

QByteArray marker_frame(quint8 type)
{
    std::array<float, InstrumentFrames::slot_count> volts{};
    volts.fill(markerVolts);
    return InstrumentFrames::data(type, volts);
}

} // namespace

FaultPlan::FaultPlan(int foreignSequences, int intactFrames)
    : foreignLeft_(foreignSequences)
    , intactLeft_(intactFrames)
{}

bool FaultPlan::step(InstrumentSimulator &simulator)
{
    if (foreignLeft_ == 0 && intactLeft_ == 0)
        return false;
    if (!simulator.run_active())
        return true;
    QByteArray bytes;
    if (foreignLeft_ > 0) {
        --foreignLeft_;
        bytes += foreign_sequence();
    }
    if (intactLeft_ > 0) {
        --intactLeft_;
        ++intactSent_;
        bytes += intact_frame_with_ff_bytes();
    }
    simulator.write_raw(bytes);
    return foreignLeft_ > 0 || intactLeft_ > 0;
}

QList<QList<double>> FaultPlan::expected_rows(bool singleChannel) const
{
    const std::array<float, InstrumentFrames::slot_count> volts = ff_volts();
    QList<double> frame;
    for (float v : volts)
        frame.append(stored_millivolts(v));
    QList<QList<double>> rows;
    for (int i = 0; i < intactSent_; ++i) {
        if (!singleChannel) {
            rows.append(frame);
            continue;
        }
        for (double value : frame)
            rows.append(QList<double>{value});
    }
    return rows;
}

QByteArray FaultPlan::foreign_sequence()
{
    // A cut-off frame first: the search that starts at its 0xFF looks for the end bytes
    // inside the next frame, where this sequence puts marker values, never 0x0D 0x0A.
    QByteArray bytes = marker_frame(InstrumentFrames::data_type_a).left(40);
    bytes += marker_frame(0x84);
    bytes += marker_frame(0x00);
    bytes += InstrumentFrames::status(55, true);
    QByteArray brokenEnd = marker_frame(InstrumentFrames::data_type_a);
    brokenEnd[InstrumentFrames::frame_size - 2] = '\x0A';
    brokenEnd[InstrumentFrames::frame_size - 1] = '\x0D';
    bytes += brokenEnd;
    return bytes;
}

QByteArray FaultPlan::intact_frame_with_ff_bytes()
{
    return InstrumentFrames::data(InstrumentFrames::data_type_b, ff_volts());
}
