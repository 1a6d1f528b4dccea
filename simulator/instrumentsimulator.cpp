#include "instrumentsimulator.h"

#include "instrumentframes.h"
#include "pseudoterminal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
using namespace std::chrono_literals;

constexpr auto idle_wait = 20ms;
// After the master reports that no slave is open, look again this much later.
constexpr auto hang_up_backoff = 20ms;
// Frames stay unbuilt (their time keeps running) while this much is unsent.
constexpr qsizetype max_pending_bytes = 1024 * 1024;
constexpr double min_speed_factor = 1e-3;
// A split status reply: the stray byte before it, where it is cut and the pause between.
constexpr char status_stray_byte = char(0x3C);
constexpr qsizetype status_split_at = 30;
constexpr auto status_split_gap = 20ms;

constexpr quint8 code_start_single = 0x01;
constexpr quint8 code_start_multi = 0x02;
constexpr quint8 code_stop = 0x03;
constexpr quint8 code_status = 0x05;
constexpr quint8 code_pause = 0x15;
constexpr quint8 code_continue = 0x16;

qint64 steady_ns(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}
} // namespace

InstrumentSimulator::InstrumentSimulator(quint32 pattern)
    : pattern_(pattern)
    , pty_(std::make_unique<PseudoTerminal>())
    , output_(pattern)
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeReadFd_ = fds[0];
        wakeWriteFd_ = fds[1];
    }
    open_ = pty_->is_open() && wakeReadFd_ >= 0;
}

InstrumentSimulator::~InstrumentSimulator()
{
    stopping_ = true;
    wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    pty_.reset();
    if (wakeReadFd_ >= 0) {
        ::close(wakeReadFd_);
    }
    if (wakeWriteFd_ >= 0) {
        ::close(wakeWriteFd_);
    }
}

bool InstrumentSimulator::is_open() const
{
    return open_.load();
}

QString InstrumentSimulator::port_name() const
{
    return pty_->slave_name();
}

bool InstrumentSimulator::create_symlink(const QString &path)
{
    return is_open() && pty_->create_symlink(path);
}

bool InstrumentSimulator::start()
{
    if (!is_open() || thread_.joinable()) {
        return false;
    }
    lastTick_ = Clock::now();
    thread_ = std::thread([this] { io_loop(); });
    return true;
}

void InstrumentSimulator::set_battery(int percent)
{
    battery_ = percent;
}

void InstrumentSimulator::set_module_present(bool present)
{
    modulePresent_ = present;
}

void InstrumentSimulator::set_speed_factor(double factor)
{
    speedFactor_ = std::max(factor, min_speed_factor);
}

void InstrumentSimulator::set_ramp(double voltsPerSecond)
{
    // The slope first: the I/O thread reads it only after it sees the ramp switched on.
    rampVoltsPerSecond_ = voltsPerSecond;
    ramp_ = true;
}

void InstrumentSimulator::set_junk(bool on)
{
    junk_ = on;
}

void InstrumentSimulator::set_random_splits(bool on)
{
    splits_ = on;
}

void InstrumentSimulator::set_burst(bool on)
{
    burst_ = on;
}

void InstrumentSimulator::set_split_status_reply(bool on)
{
    splitStatus_ = on;
}

void InstrumentSimulator::set_ignore_stop(bool on)
{
    ignoreStop_ = on;
}

void InstrumentSimulator::set_withhold_end_frame(bool on)
{
    withholdEndFrame_ = on;
}

void InstrumentSimulator::set_silent_runs(bool on)
{
    silentRuns_ = on;
}

void InstrumentSimulator::set_end_after_frames(qint64 frames)
{
    endAfterFrames_ = frames;
}

void InstrumentSimulator::set_status_reply_delay(std::chrono::milliseconds delay)
{
    statusDelayMs_ = std::max<qint64>(delay.count(), 0);
}

void InstrumentSimulator::stall(int ms)
{
    stallUntilNs_ = steady_ns(Clock::now() + std::chrono::milliseconds(std::max(ms, 0)));
    wake();
}

void InstrumentSimulator::vanish()
{
    if (!thread_.joinable()) {
        close_line();
        return;
    }
    vanishRequested_ = true;
    wake();
    std::unique_lock<std::mutex> lock(mutex_);
    closed_.wait(lock, [this] { return !open_.load(); });
}

void InstrumentSimulator::write_raw(const QByteArray &bytes)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        // A deep copy: implicitly shared data must not cross to the I/O thread.
        rawInbox_.append(bytes.constData(), bytes.size());
    }
    wake();
}

float InstrumentSimulator::sample_volts(int channel, quint64 sampleIndex, quint32 pattern)
{
    return SimulatedRun::sample_volts(channel, sampleIndex, pattern);
}

QList<QByteArray> InstrumentSimulator::received_commands() const
{
    // Deep copies, so no implicitly shared data is left between the threads.
    QList<QByteArray> copy;
    const std::lock_guard<std::mutex> lock(mutex_);
    copy.reserve(received_.size());
    for (const QByteArray &packet : received_) {
        copy.append(QByteArray(packet.constData(), packet.size()));
    }
    return copy;
}

void InstrumentSimulator::wake()
{
    if (wakeWriteFd_ >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t n = ::write(wakeWriteFd_, &byte, 1);
    }
}

void InstrumentSimulator::io_loop()
{
    while (!stopping_) {
        if (vanishRequested_) {
            close_line();
            return;
        }
        const Clock::time_point now = Clock::now();
        tick(now);

        const bool stalled = steady_ns(now) < stallUntilNs_.load();
        const bool quiet = now < masterQuietUntil_;
        pollfd fds[2] = {{wakeReadFd_, POLLIN, 0}, {quiet ? -1 : pty_->master_fd(), POLLIN, 0}};
        if (output_.pending() > 0 && !stalled && output_.wait(now) == Clock::duration::zero()) {
            fds[1].events |= POLLOUT;
        }
        const auto timeout =
            std::chrono::duration_cast<std::chrono::nanoseconds>(poll_timeout(now));
        const timespec ts{time_t(timeout.count() / 1000000000), long(timeout.count() % 1000000000)};
        if (ppoll(fds, 2, &ts, nullptr) < 0) {
            continue; // EINTR; nothing else is expected from a valid pair of descriptors
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeReadFd_, drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            read_commands();
        }
        if ((fds[1].revents & POLLOUT) &&
            !output_.write_to(pty_->master_fd(), splits_.load(), Clock::now())) {
            masterQuietUntil_ = Clock::now() + hang_up_backoff;
        }
    }
}

void InstrumentSimulator::tick(Clock::time_point now)
{
    const double elapsed = std::chrono::duration<double>(now - lastTick_).count();
    lastTick_ = now;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        output_.append(rawInbox_);
        rawInbox_.clear();
    }
    if (!run_ || paused_ || silentRuns_.load()) {
        return;
    }
    run_->advance(elapsed * speedFactor_.load());
    quint64 due = run_->frames_due(burst_.load());
    const qint64 end_after = endAfterFrames_.load();
    const bool ends_early = end_after >= 0 && quint64(end_after) < run_->total_frames();
    if (ends_early) {
        due = std::min(due, quint64(end_after));
    }
    while (run_->frames_taken() < due && output_.pending() < max_pending_bytes) {
        queue_frame(run_->take_frame());
        framesSent_.fetch_add(1);
        samplesSent_.fetch_add(quint64(run_->samples_per_frame()));
    }
    if (ends_early && run_->frames_taken() >= quint64(end_after)) {
        end_run(InstrumentFrames::finished_type);
    } else if (run_->all_frames_taken() && !withholdEndFrame_.load()) {
        end_run(InstrumentFrames::finished_type);
    }
}

// How long the I/O thread may sleep before a frame or a write falls due.
InstrumentSimulator::Clock::duration InstrumentSimulator::poll_timeout(Clock::time_point now) const
{
    Clock::duration wait = idle_wait;
    // With the line full, a frame that falls due cannot be queued: room on the line (POLLOUT)
    // is what to wait for, not the frame's time. A run with every frame taken (its end
    // frame withheld) has nothing more to time.
    if (run_ && !paused_ && !silentRuns_.load() && !run_->all_frames_taken() &&
        output_.pending() < max_pending_bytes) {
        const double seconds = run_->seconds_to_next_frame() / speedFactor_.load();
        wait = std::min(wait, std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds)));
    }
    if (output_.pending() > 0) {
        const qint64 stall_left = stallUntilNs_.load() - steady_ns(now);
        if (stall_left > 0) {
            wait = std::min(wait, std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::nanoseconds(stall_left)));
        } else if (output_.wait(now) > Clock::duration::zero()) {
            wait = std::min(wait, output_.wait(now));
        }
        // Otherwise a write may be made now, and POLLOUT wakes the loop when the terminal
        // takes bytes: a reader that stops reading must not make the loop spin.
    }
    return wait;
}

void InstrumentSimulator::read_commands()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pty_->master_fd(), buffer, sizeof buffer);
        if (n > 0) {
            for (const QByteArray &packet : commands_.feed(QByteArray(buffer, n))) {
                handle_command(packet);
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        // 0 or EIO: no slave is open at the moment. Keep the pair and look later.
        masterQuietUntil_ = Clock::now() + hang_up_backoff;
        return;
    }
}

void InstrumentSimulator::handle_command(const QByteArray &packet)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        received_.append(packet);
    }
    switch (quint8(packet[1])) {
    case code_start_single:
    case code_start_multi:
        run_ = SimulatedRun::from_command(packet, pattern_);
        if (run_ && ramp_.load()) {
            run_->set_ramp(rampVoltsPerSecond_.load());
        }
        paused_ = false;
        runActive_ = true;
        lastTick_ = Clock::now(); // the run's clock starts now
        break;
    case code_stop:
        if (run_ && !ignoreStop_.load() && !silentRuns_.load()) {
            end_run(InstrumentFrames::stopped_type);
        }
        break;
    case code_status:
        queue_status_reply();
        break;
    case code_pause:
        paused_ = run_.has_value();
        break;
    case code_continue:
        if (paused_) {
            paused_ = false;
            lastTick_ = Clock::now();
        }
        break;
    default:
        break; // unknown commands are ignored, as by the instrument
    }
}

void InstrumentSimulator::queue_frame(const QByteArray &frame)
{
    if (junk_.load()) {
        output_.append_junk();
    }
    output_.append(frame);
}

void InstrumentSimulator::queue_status_reply()
{
    const QByteArray reply = InstrumentFrames::status(battery_.load(), modulePresent_.load());
    if (const qint64 delayMs = statusDelayMs_.load(); delayMs > 0) {
        output_.append_gap(std::chrono::milliseconds(delayMs));
    }
    if (!splitStatus_.load()) {
        queue_frame(reply);
        return;
    }
    output_.append(QByteArray(1, status_stray_byte));
    output_.append(reply.first(status_split_at));
    output_.append_gap(status_split_gap);
    output_.append(reply.sliced(status_split_at));
}

void InstrumentSimulator::end_run(quint8 frameType)
{
    queue_frame(InstrumentFrames::empty(frameType));
    run_.reset();
    paused_ = false;
    runActive_ = false;
}

void InstrumentSimulator::close_line()
{
    pty_->hang_up();
    run_.reset();
    runActive_ = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
    }
    closed_.notify_all();
}
