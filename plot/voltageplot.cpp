#include "voltageplot.h"

#include "channelpalette.h"
#include "clocktext.h"
#include "discgraph.h"
#include "gapbands.h"
#include "samplebatch.h"
#include "sampledatabase.h"
#include "savefilecommit.h"
#include "steplabelticker.h"
#include "timeofdayticker.h"

#include <QDebug>
#include <QImage>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <limits>
#include <system_error>
#include <utility>

namespace {

constexpr std::chrono::milliseconds loadIntervalMs{200};
constexpr double labelOffsetInTicks = 0.25;
// Digits of a sample's time: a tenth of a millisecond, the shortest period of the instrument's
// rates.
constexpr int sampleTimeDecimals = 4;

// Distance between the first two ticks of an axis, 0 when there are fewer.
double tick_step(const QCPAxis *axis)
{
    const QVector<double> ticks = axis->tickVector();
    return ticks.size() < 2 ? 0.0 : ticks.at(1) - ticks.at(0);
}

// A sample's time as the click label shows it, without trailing zeros, so 12.7 s reads
// 12.7, not 13, and 12:00:01.5 not 12:00:01.5000.
QString trimmed_time(QString text)
{
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// bottom..top with a margin grown by decades, so that it stays about a tenth of the span.
QCPRange padded_range(double bottom, double top)
{
    double margin = 1.0;
    double span = (top - bottom) * 0.1;
    while (span > 1.0) {
        margin *= 10.0;
        span *= 0.1;
    }
    return QCPRange(bottom - margin, top + margin);
}

// view moved into extent, keeping its width where that fits.
QCPRange within(const QCPRange &view, const QCPRange &extent)
{
    if (view.size() >= extent.size())
        return extent;
    if (view.lower < extent.lower)
        return QCPRange(extent.lower, extent.lower + view.size());
    if (view.upper > extent.upper)
        return QCPRange(extent.upper - view.size(), extent.upper);
    return view;
}

} // namespace

VoltagePlot::VoltagePlot(SampleDatabase *sampleDatabase, QWidget *parent)
    : QCustomPlot(parent)
    , channelColors(ChannelPalette::colours())
    , database(sampleDatabase)
    , loadRateTimer(new QTimer(this))
    , valueLabel(new QCPItemText(this))
    , timeTicker(QSharedPointer<TimeOfDayTicker>::create())
    , cursors_(new PlotCursors(this))
    , gapBands_(new GapBands(this))
    , markLines_(new MarkLines(this))
{
    connect(gapBands_, &GapBands::changed, this, &VoltagePlot::redraw_soon);
    connect(markLines_, &MarkLines::changed, this, &VoltagePlot::redraw_soon);
    xAxis->setLabel("Time (s)");
    xAxis->setRange(0, windowSeconds);
    xAxis->setNumberFormat("f");
    xAxis->setNumberPrecision(0);
    // Whole seconds as long as the ticks fall on them; finer steps get the decimals they need.
    xAxis->setTicker(timeTicker);

    yAxis->setLabel("V (mV)");
    yAxis->setRange(-5, 5);
    yAxis->setNumberFormat("f");
    yAxis->setNumberPrecision(1);
    QSharedPointer<StepLabelTicker> ticker(new StepLabelTicker(0.1));
    ticker->setTickCount(10);
    yAxis->setTicker(ticker);

    valueLabel->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    valueLabel->setPadding(QMargins(5, 5, 5, 5));
    valueLabel->setVisible(false);

    connect(this, &QCustomPlot::plottableClick, this, &VoltagePlot::onPlotClick);
    // After dragging and zooming, a double click brings the whole stored run back.
    connect(this, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *event) {
        if (browseMode && event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier)
            show_whole_run();
    });
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // The wheel zooms the time axis; Ctrl+wheel the voltage axis (wheelEvent).
    axisRect()->setRangeZoom(Qt::Horizontal);
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &VoltagePlot::AxisRangeChanged);
    connect(yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &VoltagePlot::AxisRangeChanged);
    // Nothing draws on the overlay layer; its own buffer would be cleared and copied onto
    // the widget in every frame for nothing.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    // paintEvent fills the whole widget with the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    loadRateTimer->setSingleShot(true);
    connect(loadRateTimer, &QTimer::timeout, this, [this]() {
        catch_up_history();
        if (!is_loading())
            emit loading_settled();
    });
    loader = std::make_unique<HistoryLoader>(this, [this] { take_finished_loads(); });
}

VoltagePlot::~VoltagePlot()
{
    // A load still running reads the database and tells this object: it ends first.
    loader.reset();
    database = nullptr;
}

void VoltagePlot::setup_graphs(bool singleChannel, const QList<bool> &channelVisible)
{
    clearGraphs();
    graphs.clear();
    cursors_->clear(); // they measured the run before
    gapBands_->clear();
    markLines_->clear();
    viewStale = true;
    ++runGeneration;

    const int count = singleChannel ? 1 : channelCount;
    QVector<bool> visible(count, true);
    for (int i = 0; i < count; ++i) {
        QCPGraph *graph = new DiscGraph(xAxis, yAxis);
        graph->setName(QStringLiteral("Graph %1").arg(i));
        graph->setPen(QPen(channelColors.at(i), 1));
        if (!singleChannel) {
            visible[i] = channelVisible.value(i, true);
            graph->setVisible(visible[i]);
        }
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
        graphs.append(graph);
    }

    {
        QMutexLocker lock(&stagingMutex);
        extremes.assign(std::size_t(count), WindowExtremes());
        runHasSamples = false;
        lastTime = 0.0; // a mark before the run's first sample is at its start
        graphVisible = visible;
        pendingPoints = QList<QVector<QCPGraphData>>(count);
    }

    runSpan.reset();
    yAxis->setRange(-5, 5);
    xAxis->setRange(0, windowSeconds);
    // Not drawn here: the next refresh_view draws the empty graphs (viewStale) in its own
    // pass of the event loop, so a run's start does not hold the GUI thread for a frame.
}

void VoltagePlot::append_batch(const SampleBatch &batch)
{
    QMutexLocker lock(&stagingMutex);
    if (batch.column_count() == 1) {
        const QList<double> &values = batch.column(0);
        for (qsizetype row = 0; row < batch.size(); ++row) {
            const double time = batch.times().at(row);
            track_extremes(0, time, values.at(row));
            lastTime = time;
            if (!pendingPoints.isEmpty())
                pendingPoints[0].append(QCPGraphData(time, values.at(row)));
            latestValues[0] = values.at(row);
        }
        return;
    }
    // Values beyond the graphs of the run (a sample of the wrong mode) are dropped.
    const int count = std::min<int>(batch.column_count(), graphVisible.size());
    for (qsizetype row = 0; row < batch.size(); ++row) {
        const double time = batch.times().at(row);
        for (int i = 0; i < count; ++i)
            stage_point(i, time, batch.column(i).at(row));
        lastTime = time;
    }
}

void VoltagePlot::append_samples(double time, const QList<double> &values)
{
    QMutexLocker lock(&stagingMutex);
    // Values beyond the graphs of the run (a sample of the wrong mode) are dropped.
    const int count = std::min<int>(values.size(), graphVisible.size());
    for (int i = 0; i < count; ++i)
        stage_point(i, time, values.at(i));
    lastTime = time;
}

void VoltagePlot::stage_point(int index, double time, double value)
{
    if (!graphVisible.at(index))
        return;
    track_extremes(index, time, value);
    latestValues[index] = value;
    pendingPoints[index].append(QCPGraphData(time, value));
}

void VoltagePlot::append_sample(double time, double value)
{
    QMutexLocker lock(&stagingMutex);
    track_extremes(0, time, value);
    lastTime = time;
    if (!pendingPoints.isEmpty())
        pendingPoints[0].append(QCPGraphData(time, value));
    latestValues[0] = value;
}

void VoltagePlot::track_extremes(int index, double time, double value)
{
    runHasSamples = true;
    if (std::size_t(index) >= extremes.size())
        return; // no graph for it: not drawn, so no part of the range
    WindowExtremes &channel = extremes[std::size_t(index)];
    channel.add(time, value);
    // The view's window ends at the newest sample, so anything before its start is out of view.
    channel.expire_before(time - windowSeconds);
}

void VoltagePlot::expire_extremes(double latest)
{
    for (WindowExtremes &channel : extremes)
        channel.expire_before(latest - windowSeconds);
}

void VoltagePlot::flush_pending()
{
    move_pending_points();
}

bool VoltagePlot::save_png(const QString &path)
{
    flush_pending();
    QImage image = toPixmap().toImage();
    if (image.isNull())
        return false;
    constexpr double metresPerInch = 0.0254;
    constexpr int dotsPerInch = 96;
    image.setDotsPerMeterX(int(dotsPerInch / metresPerInch));
    image.setDotsPerMeterY(int(dotsPerInch / metresPerInch));
    // A full disk must not leave a cut-off picture behind under the chosen name.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && commit_save_file(file);
}

bool VoltagePlot::move_pending_points()
{
    QList<QVector<QCPGraphData>> points;
    {
        QMutexLocker lock(&stagingMutex);
        points.swap(pendingPoints);
        pendingPoints = QList<QVector<QCPGraphData>>(points.size());
    }
    bool moved = false;
    for (int i = 0; i < points.size() && i < graphs.size(); ++i) {
        if (!points.at(i).isEmpty()) {
            graphs.at(i)->data()->add(points.at(i), false);
            moved = true;
        }
    }
    return moved;
}

void VoltagePlot::refresh_view()
{
    bool changed = move_pending_points() || viewStale;
    viewStale = false;
    const QCPRange xBefore = xAxis->range();
    const QCPRange yBefore = yAxis->range();
    double top = 5.0;
    double bottom = -5.0;
    double latest = 0.0;
    {
        // The window's start and the range come from one look at the staged state, so the
        // range covers every point the view will show.
        QMutexLocker lock(&stagingMutex);
        latest = lastTime;
        // A channel that got no sample lately (shown again after a while) holds old entries.
        expire_extremes(latest);
        if (const std::optional<Extreme> maximum = window_extreme(true))
            top = maximum->second;
        if (const std::optional<Extreme> minimum = window_extreme(false))
            bottom = minimum->second;
    }

    yAxis->setRange(padded_range(bottom, top));
    const QCPRange xWanted = latest > windowSeconds ? QCPRange(latest - windowSeconds, latest)
                                                    : QCPRange(0, windowSeconds);
    changed = changed || xWanted != xBefore || yAxis->range() != yBefore;
    // Without new points or a new range the picture would come out the same; a run
    // without frames then costs next to nothing.
    if (!changed)
        return;

    if (latest > windowSeconds) {
        xAxis->setRange(latest - windowSeconds, latest);
        // Any graph, not just the first: with channel 1 hidden from the start its graph stays
        // empty and the others would grow for the whole run.
        const bool full = std::any_of(graphs.cbegin(), graphs.cend(), [this](QCPGraph *graph) {
            return graph->dataCount() > windowSeconds;
        });
        if (full) {
            for (QCPGraph *graph : std::as_const(graphs))
                graph->data()->removeBefore(latest - windowSeconds);
        }
        replot(rpQueuedReplot);
    } else {
        xAxis->setRange(0, windowSeconds);
        replot(rpRefreshHint);
    }
}

void VoltagePlot::redraw_soon()
{
    if (browseMode)
        replot(rpQueuedReplot);
    else
        viewStale = true;
}

void VoltagePlot::set_database(SampleDatabase *sampleDatabase, const QString &table)
{
    if (sampleDatabase == database && table == storedTable)
        return;
    loader->wait_until_idle();
    ++runGeneration; // what was loaded from the other run is no part of this one
    database = sampleDatabase;
    storedTable = table;
}

void VoltagePlot::show_stored_run(SampleDatabase *sampleDatabase, const QString &table,
                                  bool singleChannel, const QList<bool> &channelVisible,
                                  double first, double last)
{
    set_database(sampleDatabase, table);
    setup_graphs(singleChannel, channelVisible);
    set_browse_mode(true);
    {
        QMutexLocker lock(&stagingMutex);
        runHasSamples = true; // stored: there is history to load
    }
    loadedLower = loadedUpper = first;
    runSpan = QCPRange(first, std::max(last, first + 1e-3));
    show_whole_run();
}

void VoltagePlot::show_whole_run()
{
    if (!runSpan)
        return;
    // The extremes of the shown channels over the whole run, from the coarsest envelope
    // blocks: a few rows read, however long the run.
    const RangeEnvelope envelope =
        database ? database->read_envelope(storedTable, runSpan->lower, runSpan->upper, 1)
                 : RangeEnvelope();
    QVector<bool> shown;
    {
        QMutexLocker lock(&stagingMutex);
        shown = graphVisible;
    }
    double bottom = std::numeric_limits<double>::infinity();
    double top = -bottom;
    for (int c = 0; !envelope.is_empty() && c < envelope.column_count(); ++c) {
        // NaN when the column holds no number; such comparisons are false.
        if (shown.value(c, false) && envelope.min(0, c) < bottom)
            bottom = envelope.min(0, c);
        if (shown.value(c, false) && envelope.max(0, c) > top)
            top = envelope.max(0, c);
    }
    if (bottom <= top)
        yAxis->setRange(padded_range(bottom, top));
    xAxis->setRange(*runSpan);
    replot(rpQueuedReplot);
}

void VoltagePlot::set_browse_mode(bool enabled)
{
    flush_pending();
    setInteraction(QCP::iRangeDrag, enabled);
    setInteraction(QCP::iRangeZoom, enabled);
    setInteraction(QCP::iMultiSelect, enabled);
    cursors_->set_enabled(enabled);
    browseMode = enabled;
    loadedUpper = xAxis->range().upper;
    loadedLower = xAxis->range().lower;
    ++runGeneration; // a load still running was for the other mode
    if (showsEnvelope) {
        // An envelope is no set of samples; the live view and new loads start without it.
        for (QCPGraph *graph : std::as_const(graphs))
            graph->data()->clear();
        set_shows_envelope(false);
    }
    if (!enabled)
        valueLabel->setVisible(false);
    viewStale = true; // the next refresh draws the label's removal
}

void VoltagePlot::AxisRangeChanged(QCPRange newRange)
{
    if (sender() != xAxis)
        return;
    double lower = newRange.lower;
    double upper = newRange.upper;

    bool hasSamples = false;
    double latest = 0.0;
    {
        QMutexLocker lock(&stagingMutex);
        hasSamples = runHasSamples;
        latest = lastTime;
    }

    if (!browseMode) {
        if (lower < 0)
            lower = 0;
        if (upper > latest)
            upper = std::max(windowSeconds, latest);
    } else {
        // A stored run is browsed within its own span: nothing lies beyond it.
        if (runSpan) {
            const QCPRange inside = within(QCPRange(lower, upper), *runSpan);
            lower = inside.lower;
            upper = inside.upper;
        }
        if (hasSamples)
            request_history(lower, upper);
    }

    xAxis->setRange(lower, upper);
}

void VoltagePlot::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier)
        axisRect()->setRangeZoom(Qt::Vertical);
    QCustomPlot::wheelEvent(event);
    axisRect()->setRangeZoom(Qt::Horizontal);
}

void VoltagePlot::request_history(double lower, double upper)
{
    // A change inside the rate limit or during a load is caught up with when either ends.
    if (loadRateTimer->isActive() || loadInFlight || !view_lacks_history(lower, upper))
        return;
    loadRateTimer->start(loadIntervalMs);
    qDebug() << "load_sql_data";
    start_history_load(lower, upper);
}

void VoltagePlot::catch_up_history()
{
    if (!browseMode)
        return;
    {
        QMutexLocker lock(&stagingMutex);
        if (!runHasSamples)
            return;
    }
    request_history(xAxis->range().lower, xAxis->range().upper);
}

bool VoltagePlot::view_lacks_history(double lower, double upper) const
{
    if (lower < loadedLower || upper > loadedUpper)
        return true;
    // Zoomed into an envelope so far that its buckets are wider than two pixel columns.
    return showsEnvelope && envelopeBucketWidth > 0 &&
           (upper - lower) / envelopeBucketWidth < pixel_columns() / 2.0;
}

void VoltagePlot::set_shows_envelope(bool envelope)
{
    showsEnvelope = envelope;
    // One channel's envelope is a stroke from minimum to maximum in every pixel column;
    // antialiased it costs several times more and a vertical stroke gains nothing from it.
    // Sixteen of those strokes took three frames, so with more graphs each is one band.
    const DiscGraph::Look look = !envelope           ? DiscGraph::Look::Samples
                                 : graphs.size() > 1 ? DiscGraph::Look::EnvelopeBand
                                                     : DiscGraph::Look::EnvelopeStrokes;
    for (QCPGraph *graph : std::as_const(graphs)) {
        graph->setAntialiased(!envelope);
        static_cast<DiscGraph *>(graph)->set_look(look);
    }
}

int VoltagePlot::pixel_columns() const
{
    const int columns = axisRect() && axisRect()->width() > 0 ? axisRect()->width() : width();
    return std::max(columns, 1);
}

void VoltagePlot::start_history_load(double lower, double upper)
{
    history_load::Request request;
    // A recorded run is read from the table its database writes into now.
    if (database)
        request.table = storedTable.isEmpty() ? database->current_table_name() : storedTable;
    request.lower = lower;
    request.upper = upper;
    request.loadedLower = loadedLower;
    request.loadedUpper = loadedUpper;
    request.graphsHoldRows = !showsEnvelope;
    request.pixelColumns = pixel_columns();
    // The bounds move to the requested ones even if a query fails later; the result
    // sets what was loaded.
    loadedUpper = std::max(loadedUpper, upper);
    loadedLower = std::min(loadedLower, lower);
    if (!database)
        return;

    loader->start(database, request, runGeneration);
    loadInFlight = true;
}

void VoltagePlot::take_finished_loads()
{
    while (std::optional<HistoryLoader::Finished> finished = loader->take())
        add_history(finished->result, finished->generation);
}

void VoltagePlot::add_history(const history_load::Result &result, quint64 generation)
{
    loadInFlight = false;
    if (generation == runGeneration) {
        // The points come sorted: a replacement only shares the loader's lists, and rows
        // that join the held ones are merged in, so the GUI thread never sorts a run.
        for (int k = 0; k < graphs.size(); ++k) {
            QCPGraph *graph = graphs.at(k);
            if (k < result.points.size() && result.replace)
                graph->data()->set(result.points.at(k), true);
            else if (k < result.points.size())
                graph->data()->add(result.points.at(k), true);
            else if (result.replace)
                graph->data()->clear();
        }
        loadedLower = result.loadedLower;
        loadedUpper = result.loadedUpper;
        if (result.replace) {
            set_shows_envelope(result.envelope);
            envelopeBucketWidth = result.bucketWidth;
        }
        replot(rpQueuedReplot);
        emit history_loaded();
    }
    catch_up_history();
    if (!is_loading())
        emit loading_settled();
}

void VoltagePlot::set_run_start(const QDateTime &start)
{
    runStart = start;
    apply_time_format();
}

void VoltagePlot::set_time_of_day(bool enabled)
{
    timeOfDay = enabled;
    apply_time_format();
}

bool VoltagePlot::shows_time_of_day() const
{
    return timeOfDay && runStart.isValid();
}

QString VoltagePlot::time_text(double seconds, int decimals) const
{
    return shows_time_of_day() ? clock_text(runStart, seconds, decimals)
                               : QString::number(seconds, 'f', decimals);
}

void VoltagePlot::apply_time_format()
{
    timeTicker->set_start(shows_time_of_day() ? runStart : QDateTime());
    xAxis->setLabel(shows_time_of_day() ? tr("Time of day") : QStringLiteral("Time (s)"));
    if (valueLabel->visible())
        show_value_label();
    redraw_soon();
    emit time_format_changed();
}

void VoltagePlot::show_value_label()
{
    valueLabel->setText(QString("CH%1: %2, %3 mV")
                            .arg(labelChannel + 1)
                            .arg(trimmed_time(time_text(labelTime, sampleTimeDecimals)))
                            .arg(labelValue, 0, 'f', 1));
    valueLabel->setVisible(true);
}

void VoltagePlot::onPlotClick(QCPAbstractPlottable *plottable, int dataIndex, QMouseEvent *event)
{
    auto *graph = qobject_cast<QCPGraph *>(plottable);
    const int index = graphs.indexOf(graph);
    if (event->button() == Qt::LeftButton && graph && index >= 0 &&
        dataIndex < graph->dataCount()) {
        const double key = graph->data()->at(dataIndex)->key;
        const double value = graph->data()->at(dataIndex)->value;
        valueLabel->position->setCoords(key + labelOffsetInTicks * tick_step(xAxis),
                                        value + labelOffsetInTicks * tick_step(yAxis));
        labelChannel = index;
        labelTime = key;
        labelValue = value;
        valueLabel->setBrush(QBrush(graph->pen().color(), Qt::SolidPattern));
        valueLabel->setColor(Qt::white);
        show_value_label();
    } else if (event->button() == Qt::RightButton) {
        valueLabel->setVisible(false);
    }
    replot(rpRefreshHint);
}

void VoltagePlot::set_channel_visible(int index, bool visible)
{
    if (index < 0 || index >= graphs.size())
        return;
    graphs.at(index)->setVisible(visible);
    {
        QMutexLocker lock(&stagingMutex);
        if (index < graphVisible.size())
            graphVisible[index] = visible;
        // A hidden graph is not drawn, so its values no longer count for the range.
        if (!visible && std::size_t(index) < extremes.size())
            extremes[std::size_t(index)].clear();
    }
    replot(rpRefreshHint);
}

double VoltagePlot::channel_value(int index) const
{
    if (index < 0 || index >= channelCount)
        return 0.0;
    QMutexLocker lock(&stagingMutex);
    return latestValues.at(index);
}

std::optional<VoltagePlot::Extreme> VoltagePlot::window_extreme(bool maximum) const
{
    std::optional<Extreme> result;
    for (const WindowExtremes &channel : extremes) {
        const std::optional<Extreme> candidate = maximum ? channel.maximum() : channel.minimum();
        if (candidate && (!result || (maximum ? candidate->second > result->second
                                              : candidate->second < result->second)))
            result = candidate;
    }
    return result;
}

std::optional<VoltagePlot::Extreme> VoltagePlot::window_maximum() const
{
    QMutexLocker lock(&stagingMutex);
    return window_extreme(true);
}

std::optional<VoltagePlot::Extreme> VoltagePlot::window_minimum() const
{
    QMutexLocker lock(&stagingMutex);
    return window_extreme(false);
}

double VoltagePlot::last_time() const
{
    QMutexLocker lock(&stagingMutex);
    return lastTime;
}

bool VoltagePlot::is_loading() const
{
    return loadInFlight || loadRateTimer->isActive();
}

bool VoltagePlot::is_load_rate_limited() const
{
    return loadRateTimer->isActive();
}
