#include "lineoutput.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {
constexpr int max_split_piece = 160;
constexpr std::chrono::microseconds min_split_gap_us{50};
constexpr std::chrono::microseconds max_split_gap_us{1500};
// Compact the buffer once this much has been written from its front.
constexpr qsizetype compact_threshold = 64 * 1024;
} // namespace

LineOutput::LineOutput(quint32 pattern)
    : random_(pattern ^ 0x5EEDu)
{}

void LineOutput::append(const QByteArray &bytes)
{
    buffer_.append(bytes);
}

void LineOutput::append_junk()
{
    std::uniform_int_distribution<int> length(1, 12);
    std::uniform_int_distribution<int> value(0x00, 0xFE);
    const int n = length(random_);
    for (int i = 0; i < n; ++i) {
        buffer_.append(char(value(random_)));
    }
}

void LineOutput::append_gap(Clock::duration gap)
{
    gaps_.push_back({buffer_.size(), gap});
}

void LineOutput::pass_gaps(Clock::time_point now)
{
    while (!gaps_.empty() && gaps_.front().at == head_) {
        nextWrite_ = std::max(nextWrite_, now + gaps_.front().length);
        gaps_.pop_front();
    }
}

LineOutput::Clock::duration LineOutput::wait(Clock::time_point now) const
{
    return nextWrite_ > now ? nextWrite_ - now : Clock::duration::zero();
}

bool LineOutput::write_to(int fd, bool split, Clock::time_point now)
{
    pass_gaps(now);
    if (pending() == 0 || now < nextWrite_) {
        return true;
    }
    qsizetype piece = pending();
    if (!gaps_.empty()) {
        piece = gaps_.front().at - head_;
    }
    if (split) {
        std::uniform_int_distribution<qsizetype> size(1,
                                                      std::min<qsizetype>(piece, max_split_piece));
        piece = size(random_);
    }
    const ssize_t written = ::write(fd, buffer_.constData() + head_, std::size_t(piece));
    if (written < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    head_ += written;
    if (split) {
        std::uniform_int_distribution<long> gap(min_split_gap_us.count(), max_split_gap_us.count());
        nextWrite_ = now + std::chrono::microseconds(gap(random_));
    }
    pass_gaps(now);
    if (head_ == buffer_.size()) {
        buffer_.clear(); // no gap is left: the one at the end has just been passed
        head_ = 0;
    } else if (head_ >= compact_threshold) {
        buffer_.remove(0, head_);
        for (Gap &gap : gaps_) {
            gap.at -= head_;
        }
        head_ = 0;
    }
    return true;
}
