#include "cursorreadout.h"

#include "plotcursors.h"
#include "sampledatabase.h"
#include "voltageplot.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr int timeDecimals = 4;
constexpr int valueDecimals = 1;
// Rows in view before the table scrolls: the readout never takes much of the plot's height.
constexpr int visibleRows = 3;

QString millivolts(double value)
{
    return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'f', valueDecimals);
}
} // namespace

CursorReadout::CursorReadout(VoltagePlot *plot, QWidget *parent)
    : QWidget(parent)
    , plot_(plot)
    , header_(new QLabel(this))
    , table_(new QTableWidget(this))
{
    setObjectName(QStringLiteral("cursorReadout"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(header_);
    layout->addWidget(table_);
    table_->setColumnCount(7);
    table_->setHorizontalHeaderLabels({tr("Channel"), tr("Samples"), tr("Min (mV)"), tr("Max (mV)"),
                                       tr("Peak-to-peak (mV)"), tr("Mean (mV)"), tr("RMS (mV)")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setMaximumHeight(table_->horizontalHeader()->sizeHint().height() +
                             visibleRows * table_->verticalHeader()->defaultSectionSize() + 4);
    hide();
    connect(plot->cursors(), &PlotCursors::changed, this, &CursorReadout::cursors_changed);
    connect(plot, &VoltagePlot::time_format_changed, this, &CursorReadout::show_header);
    connect(&watcher_, &QFutureWatcher<RunStatistics>::finished, this,
            &CursorReadout::show_statistics);
}

CursorReadout::~CursorReadout()
{
    // The read uses the database, which outlives this object only while it is waited for.
    watcher_.waitForFinished();
}

void CursorReadout::set_run(SampleDatabase *database, const QString &table)
{
    // A read under way uses the database before; the caller may delete that one next.
    watcher_.waitForFinished();
    computing_ = false;
    stale_ = false;
    database_ = database;
    runTable_ = table;
    cursors_changed();
}

void CursorReadout::set_shown_channels(const QList<bool> &shown)
{
    shown_ = shown;
    if (!computing_)
        show_statistics();
}

QString CursorReadout::header_text() const
{
    return header_->text();
}

void CursorReadout::cursors_changed()
{
    const PlotCursors *cursors = plot_->cursors();
    setVisible(cursors->is_placed() && database_ != nullptr);
    if (!isVisibleTo(parentWidget()))
        return;
    if (computing_) {
        stale_ = true;
        return;
    }
    start_reading();
}

void CursorReadout::start_reading()
{
    stale_ = false;
    computing_ = true;
    // The samples the readout's two printed times include.
    const TimeRange range = plot_->cursors()->printed_range();
    show_header();
    SampleDatabase *database = database_;
    const QString table = runTable_;
    watcher_.setFuture(QtConcurrent::run(
        [database, table, range] { return database->read_statistics(table, range); }));
}

void CursorReadout::show_header()
{
    const PlotCursors *cursors = plot_->cursors();
    if (!cursors->is_placed())
        return;
    // Seconds carry their unit; a time of day needs none.
    const QString unit = plot_->shows_time_of_day() ? QString() : QStringLiteral(" s");
    const auto time = [this, &unit](double seconds) {
        return plot_->time_text(seconds, timeDecimals) + unit;
    };
    QString text =
        tr("A %1   B %2   Δt %3 s")
            .arg(time(*cursors->time(PlotCursors::A)), time(*cursors->time(PlotCursors::B)),
                 QString::number(cursors->printed_range().length(), 'f', timeDecimals));
    if (computing_)
        text += tr("   computing…");
    header_->setText(text);
}

void CursorReadout::show_statistics()
{
    if (stale_) {
        start_reading();
        return;
    }
    if (computing_)
        statistics_ = watcher_.result();
    computing_ = false;
    const PlotCursors *cursors = plot_->cursors();
    if (!cursors->is_placed())
        return;
    show_header();
    const auto &channels = statistics_.channels();
    table_->setRowCount(0);
    for (int c = 0; c < int(channels.size()); ++c) {
        if (channels.size() > 1 && !shown_.value(c, true))
            continue;
        const ChannelStatistics &channel = channels[size_t(c)];
        const int row = table_->rowCount();
        table_->insertRow(row);
        const QStringList cells{QStringLiteral("CH%1").arg(c + 1),
                                QString::number(channel.samples),
                                millivolts(channel.minimum),
                                millivolts(channel.maximum),
                                millivolts(channel.peak_to_peak()),
                                millivolts(channel.mean),
                                millivolts(channel.rms)};
        for (int k = 0; k < cells.size(); ++k)
            table_->setItem(row, k, new QTableWidgetItem(cells.at(k)));
    }
}
