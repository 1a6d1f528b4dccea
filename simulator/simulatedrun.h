#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// One collection run of the simulated instrument: what the start command
// asked for, and which data frames are due after how much run time. The run
// keeps its own clock (seconds of run time), advanced by the caller, so pausing
// is just not advancing it.
class SimulatedRun
{
public:
    enum class Mode { Single, Multi };

    // Reads a start packet (code 0x01 or 0x02); nothing for any other packet.
    static std::optional<SimulatedRun> from_command(const QByteArray &packet, quint32 pattern);
    // Deterministic test signal: a different sine per channel (0-15), with
    // a phase chosen by the pattern, within a few volts.
    static float sample_volts(int channel, quint64 sampleIndex, quint32 pattern);

    // Slowly drifting test signal: channel c starts at (rampStartVolts + 0.01 c) V and
    // changes by voltsPerSecond per second of run time.
    static float ramp_volts(int channel, double seconds, double voltsPerSecond);
    static constexpr double rampStartVolts = 0.2;

    SimulatedRun(Mode mode, const QList<float> &excitation, int rate, int seconds, quint32 pattern);

    // Every channel sends ramp_volts() instead of its sine from now on.
    void set_ramp(double voltsPerSecond);

    Mode mode() const { return mode_; }
    int rate() const { return rate_; }
    int seconds() const { return seconds_; }
    // Vout for a single-channel run, V1 to V4 for a multi-channel run.
    const QList<float> &excitation() const { return excitation_; }

    // Frames of the whole run. A fast single-channel run carries sixteen
    // samples per frame and rounds up to whole frames.
    quint64 total_frames() const { return totalFrames_; }
    // Sample records (time points) carried by one data frame.
    int samples_per_frame() const;
    double frames_per_second() const;

    void advance(double runSeconds);
    // Frames whose time has come; in burst mode a quarter second's worth is
    // released at once at the start of each quarter.
    quint64 frames_due(bool burst) const;
    // Run time left until the next frame is due (0 when one is due now).
    double seconds_to_next_frame() const;
    quint64 frames_taken() const { return nextFrame_; }
    bool all_frames_taken() const { return nextFrame_ >= totalFrames_; }
    // Builds the next data frame; frame types alternate 0x81 / 0x82.
    QByteArray take_frame();

private:
    float volts_at(int channel, quint64 sampleIndex) const;

    Mode mode_ = Mode::Single;
    QList<float> excitation_;
    int rate_ = 0;
    int seconds_ = 0;
    quint32 pattern_ = 0;
    quint64 totalFrames_ = 0;
    quint64 nextFrame_ = 0;
    double elapsed_ = 0.0;
    std::optional<double> rampVoltsPerSecond_;
};
