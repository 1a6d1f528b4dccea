#pragma once

#include "historyload.h"
#include "historyloader.h"
#include "marklines.h"
#include "plotcursors.h"
#include "protocol.h"
#include "windowextremes.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QVector>
#include <qcustomplot.h>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class GapBands;
class SampleBatch;
class QTimer;
class SampleDatabase;
class TimeOfDayTicker;

// The chart of a run: follows the samples live in a scrolling five-second
// window with an automatic vertical range, and while browsing reloads the time
// range that comes into view from the run's table.
//
// Threads: the decoding thread only appends into a staging area guarded by
// stagingMutex; the GUI thread moves staged points into the graphs before it
// draws, because QCustomPlot's data may only be touched on the GUI thread.
// History loads read the database on the loader's thread, one at a time, and
// hand the rows (or, for long ranges, a min/max envelope per pixel column) back
// to the GUI thread (HistoryLoader).
class VoltagePlot : public QCustomPlot
{
    Q_OBJECT

public:
    using Extreme = WindowExtremes::Point; // (time, value)

    static constexpr int channelCount = InstrumentLimits::channelCount;
    // Width of the live time window in seconds.
    static constexpr double windowSeconds = 5.0;

    explicit VoltagePlot(SampleDatabase *sampleDatabase, QWidget *parent = nullptr);
    ~VoltagePlot() override;

    VoltagePlot(const VoltagePlot &) = delete;
    VoltagePlot &operator=(const VoltagePlot &) = delete;

    // Pen colour of graph i: the channel palette (ChannelPalette), which the legend shows too.
    const QList<QColor> &channel_colors() const { return channelColors; }

    // Prepares the graphs of a new run. channelVisible holds the stored
    // visibility of channels 0..15 (the window reads it from its settings);
    // a missing entry counts as visible. Ignored in single-channel mode. The next
    // refresh_view draws them.
    void setup_graphs(bool singleChannel, const QList<bool> &channelVisible = {});

    // Shows the run stored in table of database (another file's, or one recorded earlier) as
    // a paused run: its graphs, browse mode, the view over [first, last] loaded from table.
    // The plot reads database from then on; it must outlive the plot or the next call.
    void show_stored_run(SampleDatabase *database, const QString &table, bool singleChannel,
                         const QList<bool> &channelVisible, double first, double last);
    // Fits the view to the stored run on show and on a double click: its whole span, and the
    // voltage axis to the extremes of its shown channels, read from its envelope. Nothing for
    // a run recorded here.
    void show_whole_run();
    // Reads table of database from now on, or with no table the one database records into
    // (the runs the window records); waits for a load from the previous one first.
    void set_database(SampleDatabase *database, const QString &table = QString());

    // Decoding thread (see LivePlotSink).
    // Rows of a run, one value per graph: the staging lock is taken once for all of them.
    void append_batch(const SampleBatch &batch);
    // One multi-channel time point: channels 1..16 in millivolts.
    void append_samples(double time, const QList<double> &values);
    // One single-channel sample.
    void append_sample(double time, double value);

    double channel_value(int index) const;
    void set_channel_visible(int index, bool visible);
    void set_browse_mode(bool enabled);
    // Display timer tick while a run is live: scrolls, rescales, prunes.
    void refresh_view();
    // Draws the plot again in a later pass of the event loop: while live, in the next
    // display tick (which draws anyway), so a change beside the graphs costs no frame of its
    // own; while browsing, in a queued replot.
    void redraw_soon();
    // Moves staged live points into the graphs; call before rendering the
    // widget outside the display timer (for example a picture export).
    void flush_pending();
    // Writes the plot as drawn to a PNG file at 96 dpi, staged points included. The file
    // appears only when written whole; on failure no file (or the previous one) is left.
    bool save_png(const QString &path);

    // Read-only views of the state, for the window and the tests.
    bool is_browse_mode() const { return browseMode; }
    QCPRange loaded_range() const { return QCPRange(loadedLower, loadedUpper); }
    // The largest and smallest value of the shown channels over the live window, as
    // (time, value); nothing while no shown channel has a sample in it.
    std::optional<Extreme> window_maximum() const;
    std::optional<Extreme> window_minimum() const;
    // The time of the run's latest sample; 0 before its first.
    double last_time() const;
    // True within the rate limit after a history load was launched.
    bool is_load_rate_limited() const;
    // True while the rows of the view are still being loaded (a load under way, or the rate
    // limit whose end catches up with the view).
    bool is_loading() const;
    QCPItemText *value_label() const { return valueLabel; }
    // The start time of the run on show (local); invalid when unknown. Kept by setup_graphs:
    // the caller sets it for each run.
    void set_run_start(const QDateTime &start);
    // Whether times read as the time of day (start time + t) rather than seconds since the
    // start; without a known start they stay seconds.
    void set_time_of_day(bool enabled);
    bool shows_time_of_day() const;
    // A time as the axis reads it: seconds with `decimals` digits, or the time of day to them.
    QString time_text(double seconds, int decimals) const;
    // The measuring cursors; placed only while browsing.
    PlotCursors *cursors() const { return cursors_; }
    // The run's gaps as shaded bands; cleared by setup_graphs.
    GapBands *gap_bands() const { return gapBands_; }
    // The marks of the run on show; cleared with its graphs by setup_graphs.
    MarkLines *mark_lines() const { return markLines_; }

    // True while the graphs show the extremes per pixel column of a long range
    // rather than its rows.
    bool shows_envelope() const { return showsEnvelope; }

signals:
    void helperYLinePositionChanged(double yPos);
    // Times read differently from now on (time of day switched, or another start).
    void time_format_changed();
    // A history load's points went into the graphs (a queued replot draws them); not sent for
    // a load dropped because its run was replaced.
    void history_loaded();
    // is_loading() turned false: the rows of the view are in, or no load is due.
    void loading_settled();

public slots:
    void AxisRangeChanged(QCPRange newRange);

private slots:
    void onPlotClick(QCPAbstractPlottable *plottable, int dataIndex, QMouseEvent *event);

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    void apply_time_format();
    void show_value_label();
    // Takes the results the loader has finished, in order.
    void take_finished_loads();

    // The caller of these four holds stagingMutex.
    void stage_point(int index, double time, double value);
    void track_extremes(int index, double time, double value);
    void expire_extremes(double latest);
    std::optional<Extreme> window_extreme(bool maximum) const; // over all channels
    // Moves staged points into the graphs; true when there were any.
    bool move_pending_points();
    // Launches a load when the range in view lacks data and neither a load nor
    // the rate limit is running; otherwise the end of either catches up.
    void request_history(double lower, double upper);
    void catch_up_history();
    bool view_lacks_history(double lower, double upper) const;
    int pixel_columns() const;
    void set_shows_envelope(bool envelope);
    void start_history_load(double lower, double upper);
    void add_history(const history_load::Result &result, quint64 generation);

    const QList<QColor> channelColors;
    SampleDatabase *database = nullptr; // not owned; read only on the GUI thread
    // The run read; empty while the plot follows the run database records into.
    QString storedTable;

    QTimer *loadRateTimer = nullptr; // rate limit of history loads; its end catches up
    QCPItemText *valueLabel = nullptr;
    // The point the value label names, so the label follows a change of time format.
    int labelChannel = 0;
    double labelTime = 0.0;
    double labelValue = 0.0;
    QSharedPointer<TimeOfDayTicker> timeTicker;
    QDateTime runStart;              // invalid when unknown
    bool timeOfDay = false;          // the operator's choice
    PlotCursors *cursors_ = nullptr; // Qt child
    GapBands *gapBands_ = nullptr;   // Qt child
    MarkLines *markLines_ = nullptr; // Qt child
    QList<QCPGraph *> graphs;        // GUI thread only
    bool browseMode = false;         // GUI thread only
    // The time span of the stored run on show, which browsing stays within; GUI thread only.
    std::optional<QCPRange> runSpan;
    // Set when something the refresh does not see changed; GUI thread only.
    bool viewStale = true;
    // Range whose rows the graphs hold while browsing; GUI thread only, the
    // loader gets its query ranges handed over at launch.
    double loadedUpper = 0.0;
    double loadedLower = 0.0;
    // Whether the graphs hold an envelope, and its bucket width; GUI thread only.
    bool showsEnvelope = false;
    double envelopeBucketWidth = 0.0;
    // A load launched whose result has not come back; GUI thread only.
    bool loadInFlight = false;
    // Bumped by setup_graphs and set_browse_mode, so rows of a load launched
    // before are dropped.
    quint64 runGeneration = 0;             // GUI thread only
    std::unique_ptr<HistoryLoader> loader; // destroyed first in the destructor

    // Everything below is shared with the decoding thread, guarded by stagingMutex.
    mutable QMutex stagingMutex;
    std::array<double, channelCount> latestValues{};
    std::vector<WindowExtremes> extremes; // one per graph; hidden channels are not tracked
    bool runHasSamples = false;           // the current run has produced a sample
    double lastTime = 0.0;
    QVector<bool> graphVisible;                 // one entry per graph
    QList<QVector<QCPGraphData>> pendingPoints; // one list per graph
};
