#pragma once

#include "commandreader.h"
#include "lineoutput.h"
#include "simulatedrun.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class PseudoTerminal;

// Plays the sampling instrument on the master side of a pseudo-terminal, so
// the application (or a test) can open port_name() as its serial port. It
// answers status queries, runs single- and multi-channel collections paced in
// real time with deterministic waveforms, and can misbehave on request (junk,
// split writes, bursts, stalls, vanishing). All I/O runs on one thread of its
// own started by start(); every public member may be called from any thread.
class InstrumentSimulator
{
public:
    explicit InstrumentSimulator(quint32 pattern = 1);
    ~InstrumentSimulator();
    InstrumentSimulator(const InstrumentSimulator &) = delete;
    InstrumentSimulator &operator=(const InstrumentSimulator &) = delete;

    bool is_open() const;
    // The slave device (/dev/pts/N) the application opens.
    QString port_name() const;
    quint32 pattern() const { return pattern_; }
    bool create_symlink(const QString &path);

    // Starts the I/O thread; false when the terminal is not open or already started.
    bool start();

    void set_battery(int percent);
    void set_module_present(bool present);
    // Run time passes this many times faster than real time (1.0 = real time).
    void set_speed_factor(double factor);

    // Runs started from now on send a slow straight ramp on every channel instead of the
    // sines (see SimulatedRun::ramp_volts), changing by voltsPerSecond.
    void set_ramp(double voltsPerSecond);

    // Random junk bytes (never 0xFF, so never a frame) between frames.
    void set_junk(bool on);
    // Output written in pieces of random size with tiny gaps.
    void set_random_splits(bool on);
    // Frames released a quarter second's worth at a time.
    void set_burst(bool on);
    // Status replies come after one stray byte and in two writes a little apart, as from
    // an adapter that hands on a few bytes at a time.
    void set_split_status_reply(bool on);
    // Status replies are sent this long after the query, as from an instrument slow to
    // answer (zero: at once).
    void set_status_reply_delay(std::chrono::milliseconds delay);
    // The stop command is recorded but not obeyed: the run goes on streaming and no
    // stop reply is sent; it still ends by itself when its collection time is over.
    void set_ignore_stop(bool on);
    // A run whose collection time is over sends nothing more, not even its end frame, as
    // a hung firmware would; a stop command still ends it.
    void set_withhold_end_frame(bool on);
    // A run is accepted but sends nothing at all, no frame, no end frame, no stop reply, as
    // firmware that hangs after its status reply would; status queries are still answered.
    void set_silent_runs(bool on);
    // A run sends its end frame after this many data frames, however long it was asked to
    // last, as firmware that ends early would; a negative count turns this off.
    void set_end_after_frames(qint64 frames);
    // Sends nothing for `ms` milliseconds; what falls due meanwhile is sent after.
    void stall(int ms);
    // Closes the instrument's side as an unplugged adapter; returns once closed.
    void vanish();
    // Queues exact bytes behind whatever is already pending.
    void write_raw(const QByteArray &bytes);

    static float sample_volts(int channel, quint64 sampleIndex, quint32 pattern);

    // Sample records (time points) and data frames of runs handed to the line.
    quint64 samples_sent() const { return samplesSent_.load(); }
    quint64 frames_sent() const { return framesSent_.load(); }
    // Every 26-byte command packet received, in order.
    QList<QByteArray> received_commands() const;
    bool run_active() const { return runActive_.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void wake();
    void io_loop();
    void tick(Clock::time_point now);
    Clock::duration poll_timeout(Clock::time_point now) const;
    void read_commands();
    void handle_command(const QByteArray &packet);
    void queue_frame(const QByteArray &frame);
    void queue_status_reply();
    void end_run(quint8 frameType);
    void close_line();

    const quint32 pattern_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::thread thread_;
    int wakeReadFd_ = -1;
    int wakeWriteFd_ = -1;

    // Settings written by any thread, read by the I/O thread.
    std::atomic<int> battery_{80};
    std::atomic<bool> modulePresent_{false};
    std::atomic<double> speedFactor_{1.0};
    std::atomic<bool> junk_{false};
    std::atomic<bool> splits_{false};
    std::atomic<bool> burst_{false};
    std::atomic<bool> ignoreStop_{false};
    std::atomic<bool> withholdEndFrame_{false};
    std::atomic<bool> silentRuns_{false};
    std::atomic<qint64> endAfterFrames_{-1};
    std::atomic<bool> splitStatus_{false};
    std::atomic<qint64> statusDelayMs_{0};
    std::atomic<qint64> stallUntilNs_{0}; // steady clock
    std::atomic<bool> ramp_{false};
    std::atomic<double> rampVoltsPerSecond_{0.0};

    // Written by the I/O thread, read by any thread.
    std::atomic<bool> open_{false};
    std::atomic<bool> runActive_{false};
    std::atomic<quint64> samplesSent_{0};
    std::atomic<quint64> framesSent_{0};

    // Requests to the I/O thread.
    std::atomic<bool> stopping_{false};
    std::atomic<bool> vanishRequested_{false};

    mutable std::mutex mutex_;       // guards the members below
    std::condition_variable closed_; // signalled when open_ turns false
    QList<QByteArray> received_;
    QByteArray rawInbox_;

    // Owned by the I/O thread alone.
    CommandReader commands_;
    LineOutput output_;
    std::optional<SimulatedRun> run_;
    bool paused_ = false;
    Clock::time_point lastTick_{};
    Clock::time_point masterQuietUntil_{}; // no slave open: don't spin on hang-up
};
