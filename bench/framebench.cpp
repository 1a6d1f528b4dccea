// Frame cutting and decoding on bytes in memory: the work the GUI thread and
// the decoding thread do for every frame of a run, without the port.
#include "dataqueues.h"
#include "framecutter.h"
#include "framedecoder.h"
#include "framesink.h"
#include "instrumentframes.h"
#include "simulatedrun.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <algorithm>

namespace {

// Reads of a few kilobytes that do not follow frame boundaries, as the port delivers them.
constexpr qsizetype readSize = 4000;
constexpr int streamFrames = 4096;

QByteArray frame_stream(int frames)
{
    std::array<float, InstrumentFrames::slot_count> volts{};
    QByteArray stream;
    stream.reserve(qsizetype(frames) * InstrumentFrames::frame_size);
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < InstrumentFrames::slot_count; ++c) {
            volts[std::size_t(c)] = SimulatedRun::sample_volts(c, quint64(f), 1);
        }
        stream += InstrumentFrames::data(
            f % 2 == 0 ? InstrumentFrames::data_type_a : InstrumentFrames::data_type_b, volts);
    }
    return stream;
}

class CountingSink : public FrameSink
{
public:
    void push_serial(const QByteArray &frameText) override
    {
        benchmark::DoNotOptimize(frameText.constData());
        ++count;
    }
    qint64 count = 0;
};

void feed_in_reads(FrameCutter &cutter, const QByteArray &stream)
{
    for (qsizetype at = 0; at < stream.size(); at += readSize) {
        cutter.feed(QByteArrayView(stream).sliced(at, std::min(readSize, stream.size() - at)));
    }
}

void cutting(benchmark::State &state)
{
    const QByteArray stream = frame_stream(streamFrames);
    CountingSink sink;
    FrameCutter cutter(&sink);
    for (auto _ : state) {
        feed_in_reads(cutter, stream);
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(sink.count), benchmark::Counter::kIsRate);
}

// Cutting into the frame queue, decoding, and taking the records out, one read at a time
// so the queues never fill.
void cutting_and_decoding(benchmark::State &state)
{
    const bool singleChannel = state.range(0) != 0;
    const int rate = singleChannel ? 5000 : 150;
    const QByteArray stream = frame_stream(streamFrames);
    DataQueues queues;
    FrameCutter cutter(&queues);
    FrameDecoder decoder(singleChannel, rate, &queues, nullptr);
    qint64 frames = 0;
    qint64 records = 0;
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += readSize) {
            cutter.feed(QByteArrayView(stream).sliced(at, std::min(readSize, stream.size() - at)));
            for (QByteArray text = queues.pop_serial(); !text.isEmpty();
                 text = queues.pop_serial()) {
                decoder.decode(text);
                ++frames;
            }
            for (SampleRow record = queues.pop_record(); !record.isEmpty();
                 record = queues.pop_record()) {
                benchmark::DoNotOptimize(record.constData());
                ++records;
            }
        }
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["records/s"] = benchmark::Counter(double(records), benchmark::Counter::kIsRate);
    state.counters["dropped"] = double(queues.dropped_frames() + queues.dropped_records());
}

} // namespace

BENCHMARK(cutting)->Unit(benchmark::kMillisecond);
BENCHMARK(cutting_and_decoding)->ArgName("single")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
