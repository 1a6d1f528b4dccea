#include "simulatedrun.h"

#include "instrumentframes.h"

#include <cmath>
#include <cstring>

namespace {
constexpr int samples_per_fast_frame = 16;
// Above this rate a single-channel frame carries sixteen successive samples.
constexpr int slow_rate_limit = 100;
constexpr double burst_quantum_seconds = 0.25;
constexpr double two_pi = 6.283185307179586;

quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

float float_at(const QByteArray &packet, int offset)
{
    const quint32 bits =
        quint32(quint8(packet[offset])) | quint32(quint8(packet[offset + 1])) << 8 |
        quint32(quint8(packet[offset + 2])) << 16 | quint32(quint8(packet[offset + 3])) << 24;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int word_at(const QByteArray &packet, int offset)
{
    return int(quint8(packet[offset])) << 8 | int(quint8(packet[offset + 1]));
}
} // namespace

std::optional<SimulatedRun> SimulatedRun::from_command(const QByteArray &packet, quint32 pattern)
{
    if (packet.size() != 26) {
        return std::nullopt;
    }
    const int rate = word_at(packet, 18);
    const int seconds = word_at(packet, 20);
    switch (quint8(packet[1])) {
    case 0x01:
        return SimulatedRun(Mode::Single, {float_at(packet, 2)}, rate, seconds, pattern);
    case 0x02:
        return SimulatedRun(
            Mode::Multi,
            {float_at(packet, 2), float_at(packet, 6), float_at(packet, 10), float_at(packet, 14)},
            rate, seconds, pattern);
    default:
        return std::nullopt;
    }
}

float SimulatedRun::sample_volts(int channel, quint64 sampleIndex, quint32 pattern)
{
    const unsigned c = unsigned(channel) % 16u;
    const quint64 period = 100 + 25 * quint64(c);
    const double phase = double(mix(quint64(pattern) << 8 | c) >> 11) * 0x1.0p-53 * two_pi;
    const double amplitude = 0.5 + 0.2 * c;
    const double offset = 0.05 * (double(c) - 8.0);
    const double angle = two_pi * double(sampleIndex % period) / double(period) + phase;
    return float(offset + amplitude * std::sin(angle));
}

float SimulatedRun::ramp_volts(int channel, double seconds, double voltsPerSecond)
{
    const double start = rampStartVolts + 0.01 * double(unsigned(channel) % 16u);
    return float(start + voltsPerSecond * seconds);
}

SimulatedRun::SimulatedRun(Mode mode, const QList<float> &excitation, int rate, int seconds,
                           quint32 pattern)
    : mode_(mode)
    , excitation_(excitation)
    , rate_(rate)
    , seconds_(seconds)
    , pattern_(pattern)
{
    const quint64 points = quint64(rate_) * quint64(seconds_);
    totalFrames_ = samples_per_frame() == 1
                       ? points
                       : (points + samples_per_fast_frame - 1) / samples_per_fast_frame;
}

void SimulatedRun::set_ramp(double voltsPerSecond)
{
    rampVoltsPerSecond_ = voltsPerSecond;
}

float SimulatedRun::volts_at(int channel, quint64 sampleIndex) const
{
    if (rampVoltsPerSecond_ && rate_ > 0) {
        return ramp_volts(channel, double(sampleIndex) / rate_, *rampVoltsPerSecond_);
    }
    return sample_volts(channel, sampleIndex, pattern_);
}

int SimulatedRun::samples_per_frame() const
{
    return mode_ == Mode::Single && rate_ > slow_rate_limit ? samples_per_fast_frame : 1;
}

double SimulatedRun::frames_per_second() const
{
    return double(rate_) / samples_per_frame();
}

void SimulatedRun::advance(double runSeconds)
{
    elapsed_ += runSeconds;
}

quint64 SimulatedRun::frames_due(bool burst) const
{
    double until = elapsed_;
    if (burst) {
        until = std::ceil(elapsed_ / burst_quantum_seconds) * burst_quantum_seconds;
    }
    const double due = std::floor(until * frames_per_second());
    return due >= double(totalFrames_) ? totalFrames_ : quint64(due);
}

double SimulatedRun::seconds_to_next_frame() const
{
    if (all_frames_taken() || rate_ <= 0) {
        return 0.0;
    }
    const double at = double(nextFrame_ + 1) / frames_per_second();
    return at > elapsed_ ? at - elapsed_ : 0.0;
}

QByteArray SimulatedRun::take_frame()
{
    const quint64 index = nextFrame_++;
    std::array<float, InstrumentFrames::slot_count> volts{};
    if (mode_ == Mode::Multi) {
        for (int c = 0; c < InstrumentFrames::slot_count; ++c) {
            volts[std::size_t(c)] = volts_at(c, index);
        }
    } else if (samples_per_frame() == 1) {
        volts[0] = volts_at(0, index);
    } else {
        for (int k = 0; k < samples_per_fast_frame; ++k) {
            volts[std::size_t(k)] = volts_at(0, index * samples_per_fast_frame + quint64(k));
        }
    }
    const quint8 type =
        index % 2 == 0 ? InstrumentFrames::data_type_a : InstrumentFrames::data_type_b;
    return InstrumentFrames::data(type, volts);
}
