#include "remotewatch.h"

#include "channelpanel.h"
#include "cursorreadout.h"
#include "gapbands.h"
#include "marklines.h"
#include "runmarking.h"
#include "runreceipt.h"
#include "runstatusbar.h"
#include "samplebatch.h"
#include "sampledatabase.h"
#include "settingsstore.h"
#include "voltageplot.h"

#include <QAction>
#include <QInputDialog>
#include <QJsonArray>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {
constexpr std::chrono::milliseconds refreshInterval{30};

QDateTime utc_time(const QJsonValue &value)
{
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

// The facts a station published (a sidecar's "facts" object) read back.
RunFacts facts_from(const QJsonObject &object)
{
    RunFacts facts;
    facts.started = utc_time(object.value(QStringLiteral("started_utc")));
    facts.utcOffsetSeconds = object.value(QStringLiteral("utc_offset_s")).toInt();
    facts.singleChannel = object.value(QStringLiteral("mode")).toString() != QLatin1String("multi");
    facts.rate = object.value(QStringLiteral("rate")).toInt();
    facts.seconds = object.value(QStringLiteral("collection_s")).toInt();
    const QJsonObject excitation = object.value(QStringLiteral("excitation_v")).toObject();
    for (const QString &name : facts.voltage_names()) {
        if (excitation.contains(name))
            facts.voltages.append(excitation.value(name).toDouble());
    }
    if (const QJsonValue battery = object.value(QStringLiteral("battery_percent"));
        battery.isDouble())
        facts.batteryPercent = battery.toInt();
    if (const QJsonValue module = object.value(QStringLiteral("range_module")); module.isBool())
        facts.rangeModule = module.toBool();
    facts.programVersion = object.value(QStringLiteral("program_version")).toString();
    if (object.value(QStringLiteral("complete")).toBool()) {
        facts.outcome = object.value(QStringLiteral("outcome")).toString();
        facts.committedRows = object.value(QStringLiteral("committed_rows")).toInteger();
        facts.droppedFrames = quint64(object.value(QStringLiteral("dropped_frames")).toInteger());
        facts.droppedSamples = quint64(object.value(QStringLiteral("dropped_samples")).toInteger());
        facts.pausedMs = qint64(object.value(QStringLiteral("paused_s")).toDouble() * 1000.0);
        facts.ended = utc_time(object.value(QStringLiteral("ended_utc")));
    }
    return facts;
}
} // namespace

RemoteWatch::RemoteWatch(QWidget *window, VoltagePlot *plot, CursorReadout *cursorReadout,
                         RunMarking *marking, RunStatusBar *runStatus,
                         std::function<bool()> recording)
    : QObject(window)
    , window_(window)
    , plot_(plot)
    , cursorReadout_(cursorReadout)
    , marking_(marking)
    , runStatus_(runStatus)
    , recording_(std::move(recording))
    , timer_(new QTimer(this))
{
    timer_->setInterval(refreshInterval);
    QObject::connect(timer_, &QTimer::timeout, this, &RemoteWatch::tick);
    watchAction_ = new QAction(tr("Watch Remote…"), this);
    watchAction_->setObjectName(QStringLiteral("actionWatchRemote"));
    watchAction_->setToolTip(tr("Watch another station's run as it is published to a broker"));
    QObject::connect(watchAction_, &QAction::triggered, this, [this] { ask_and_watch(); });
    stopAction_ = new QAction(tr("Stop Watching"), this);
    stopAction_->setObjectName(QStringLiteral("actionStopWatching"));
    stopAction_->setEnabled(false);
    QObject::connect(stopAction_, &QAction::triggered, this, &RemoteWatch::stop_watching);
}

RemoteWatch::~RemoteWatch()
{
    delete watcher_; // no signal after this
    watcher_ = nullptr;
}

QList<QAction *> RemoteWatch::menu_actions() const
{
    return {watchAction_, stopAction_};
}

bool RemoteWatch::ask_and_watch()
{
    bool accepted = false;
    const QString url = QInputDialog::getText(
        window_, tr("Watch Remote"),
        tr("The station to watch, as mqtt://HOST:PORT/PREFIX (mqtts:// for TLS):"),
        QLineEdit::Normal, read_setting(urlKey, QString()).toString(), &accepted);
    return accepted && !url.trimmed().isEmpty() && watch(url.trimmed());
}

bool RemoteWatch::watch(const QString &url)
{
    if (recording_()) {
        QMessageBox::information(window_, tr("Message"),
                                 tr("Stop the run before watching another station."));
        return false;
    }
    const Result<BrokerAddress> address = BrokerAddress::parse(url);
    BrokerSettings settings;
    Status status = address.status();
    if (status.ok()) {
        settings.address = *address;
        const Result<std::optional<QString>> password = BrokerSettings::read_password(QString());
        status = password.status();
        if (status.ok()) {
            settings.password = *password;
            status = settings.check_files();
        }
    }
    if (status.ok() && !scratch_) {
        scratchFolder_ = std::make_unique<QTemporaryDir>();
        // Written while its rows are read on other threads (plot, cursors, export): a
        // write-ahead log, as the window's own file.
        scratch_ = std::make_unique<SampleDatabase>(
            scratchFolder_->filePath(QStringLiteral("received.db")));
        if (!scratchFolder_->isValid() || !scratch_->open_database().ok())
            status = Status::write_failed(tr("no scratch database could be made"));
    }
    auto *watcher = status.ok() ? new MqttWatcher(settings, this) : nullptr;
    if (watcher != nullptr) {
        if (watcher_ != nullptr)
            stop_watching();
        // What a watcher queued before it went may still come: only the current one's counts.
        const quint64 generation = ++generation_;
        const auto current = [this, generation] {
            return generation == generation_;
        };
        QObject::connect(watcher, &MqttWatcher::link_changed, this,
                         [this, current](MqttWatcher::Link, const QString &problem) {
                             if (current()) {
                                 linkProblem_ = problem;
                                 show_state();
                             }
                         });
        QObject::connect(watcher, &MqttWatcher::station_state, this,
                         [this, current](const QString &state) {
                             if (current()) {
                                 stationState_ = state;
                                 show_state();
                             }
                         });
        QObject::connect(watcher, &MqttWatcher::run_facts, this,
                         [this, current](const QString &run, const QJsonObject &facts) {
                             if (current())
                                 take_facts(run, facts);
                         });
        QObject::connect(watcher, &MqttWatcher::samples_received, this,
                         [this, current](const run_messages::Samples &samples) {
                             if (current())
                                 take_samples(samples);
                         });
        QObject::connect(watcher, &MqttWatcher::rows_missing, this,
                         [this, current](const QString &run, qint64 firstId, qint64 count) {
                             if (current())
                                 take_missing(run, firstId, count);
                         });
        QObject::connect(watcher, &MqttWatcher::mark_received, this,
                         [this, current](const QString &run, const RunMark &mark) {
                             if (current())
                                 take_mark(run, mark);
                         });
        QObject::connect(watcher, &MqttWatcher::gap_received, this,
                         [this, current](const QString &run, const RunGap &gap) {
                             if (current())
                                 take_gap(run, gap);
                         });
        status = watcher->start();
    }
    if (!status.ok()) {
        delete watcher;
        QMessageBox::warning(window_, tr("Warning"),
                             tr("%1 cannot be watched: %2.").arg(url, status.message()));
        return false;
    }
    watcher_ = watcher;
    shownAddress_ = settings.address.shown();
    stationState_.clear();
    linkProblem_.clear();
    write_setting_soon(urlKey, url);
    paused_ = false;
    watchAction_->setEnabled(false);
    stopAction_->setEnabled(true);
    timer_->start();
    show_state();
    emit watching_changed(true);
    return true;
}

void RemoteWatch::stop_watching()
{
    if (watcher_ == nullptr)
        return;
    // What was received stays on show, browsed, as a run that has ended.
    if (!table_.isEmpty())
        plot_->set_browse_mode(true);
    halt();
    show_state();
    emit watching_changed(false);
}

void RemoteWatch::halt()
{
    ++generation_;   // what it queued is left unread
    delete watcher_; // waits for libmosquitto's thread
    watcher_ = nullptr;
    timer_->stop();
    store_pending();
    write_receipt();
    paused_ = false;
    watchAction_->setEnabled(true);
    stopAction_->setEnabled(false);
}

void RemoteWatch::let_go()
{
    // The plot, readout and marking show another run already: only the watch ends here.
    const bool watching = watcher_ != nullptr;
    halt();
    if (watching)
        emit watching_changed(false);
    table_.clear();
    run_.clear();
    facts_.reset();
    scratch_.reset();
    scratchFolder_.reset();
}

void RemoteWatch::set_paused(bool paused)
{
    if (paused == paused_ || watcher_ == nullptr)
        return;
    paused_ = paused;
    store_pending(); // a pause browses every row received so far
    plot_->set_browse_mode(paused);
    if (!paused && latestTime_ > plottedTime_) {
        // The rows that came during the pause, as far as the live window reaches back.
        const RangeColumns rows = scratch_->read_time_range(
            table_, std::max(plottedTime_, latestTime_ - VoltagePlot::windowSeconds), latestTime_,
            SampleDatabase::RangeEnds::AllButLower);
        SampleBatch batch(0, int(rows.values.size()));
        std::vector<double> row(rows.values.size(), 0.0);
        for (qsizetype i = 0; i < rows.times.size(); ++i) {
            for (qsizetype column = 0; column < rows.values.size(); ++column)
                row[size_t(column)] = rows.values.at(column).at(i);
            batch.append(rows.times.at(i), row.data());
        }
        if (!batch.is_empty())
            plot_->append_batch(batch);
        plottedTime_ = latestTime_;
    }
}

SampleDatabase *RemoteWatch::shown_database() const
{
    return table_.isEmpty() ? nullptr : scratch_.get();
}

QString RemoteWatch::shown_table() const
{
    return table_;
}

bool RemoteWatch::begin_run(const QString &run, bool single)
{
    store_pending(); // the rows of the run before go into its own table
    const std::optional<RunFacts> known = facts_;
    QString table = run;
    // The station's name for it, unless that is not a run table's or already taken.
    if (!SampleDatabase::is_valid_table_name(table) ||
        !scratch_->create_table(table, single).ok()) {
        const Result<QString> made = scratch_->create_run_table(known && known->started.isValid()
                                                                    ? known->started.toLocalTime()
                                                                    : QDateTime::currentDateTime(),
                                                                single);
        if (!made.ok()) {
            runStatus_->show_note(
                tr("The run %1 cannot be kept: %2").arg(run, made.status().message()), true);
            return false;
        }
        table = *made;
    }
    run_ = run;
    table_ = table;
    single_ = single;
    factsStarted_ = false;
    receivedRows_ = 0;
    latestTime_ = plottedTime_ = 0.0;
    missingIds_.clear();
    gaps_.clear();
    pending_.clear();
    emit channel_mode_needed(single);
    const QList<bool> shown = ChannelPanel::stored_visibility();
    plot_->set_database(scratch_.get(), table);
    plot_->setup_graphs(single, shown);
    plot_->set_browse_mode(paused_);
    cursorReadout_->set_run(scratch_.get(), table);
    cursorReadout_->set_shown_channels(shown);
    marking_->show_run(scratch_.get(), table, false); // another station's marks: read only
    write_receipt();
    return true;
}

void RemoteWatch::take_facts(const QString &run, const QJsonObject &object)
{
    RunFacts facts = facts_from(object);
    if (run != run_) {
        facts_ = facts;
        if (!begin_run(run, facts.singleChannel))
            return;
    }
    facts_ = facts;
    plot_->set_run_start(facts.started.toLocalTime());
    if (!factsStarted_)
        factsStarted_ = scratch_->write_facts_start(table_, facts).ok();
    if (facts.is_complete()) {
        store_pending();
        scratch_->write_facts_end(table_, facts);
    }
    show_state();
}

void RemoteWatch::take_samples(const run_messages::Samples &samples)
{
    const int columns = int(samples.values.size());
    if (samples.run != run_) {
        facts_.reset();
        if (!begin_run(samples.run, columns == 1))
            return;
    }
    if (columns != (single_ ? 1 : VoltagePlot::channelCount))
        return; // not the shape of this run's table
    SampleBatch batch(receivedRows_, columns);
    std::vector<double> row(size_t(columns), 0.0);
    for (qsizetype i = 0; i < samples.times.size(); ++i) {
        pending_.push_back(samples.times.at(i));
        for (int column = 0; column < columns; ++column) {
            row[size_t(column)] = samples.values.at(column).at(i);
            pending_.push_back(row[size_t(column)]);
        }
        batch.append(samples.times.at(i), row.data());
    }
    receivedRows_ += batch.size();
    latestTime_ = samples.times.constLast();
    if (!paused_) {
        plot_->append_batch(batch);
        plottedTime_ = latestTime_;
    }
}

void RemoteWatch::take_missing(const QString &run, qint64 firstId, qint64 count)
{
    if (run != run_)
        return;
    for (qint64 id = firstId; id < firstId + count; ++id)
        missingIds_.append(id);
    write_receipt();
}

void RemoteWatch::take_mark(const QString &run, const RunMark &mark)
{
    if (run != run_ || table_.isEmpty())
        return;
    scratch_->add_mark(table_, mark);
    plot_->mark_lines()->add(mark);
}

void RemoteWatch::take_gap(const QString &run, const RunGap &gap)
{
    if (run != run_ || table_.isEmpty())
        return;
    scratch_->add_gap(table_, gap);
    gaps_.append(gap);
    plot_->gap_bands()->set_gaps(gaps_);
}

void RemoteWatch::store_pending()
{
    if (pending_.empty() || !scratch_)
        return;
    const qsizetype width = 1 + (single_ ? 1 : VoltagePlot::channelCount);
    const SampleDatabase::Stored stored =
        scratch_->insert_rows(pending_.data(), qsizetype(pending_.size()) / width);
    // Rows SQLite refused (a reader held the file) wait for the next tick.
    pending_.erase(pending_.begin(), pending_.begin() + stored.rows * width);
}

void RemoteWatch::write_receipt()
{
    if (table_.isEmpty())
        return;
    QJsonArray missing;
    for (const qint64 id : std::as_const(missingIds_))
        missing.append(id);
    QString reason;
    run_receipt::write(scratch_->connection_handle(), table_,
                       QJsonObject{{QStringLiteral("over"), QStringLiteral("MQTT")},
                                   {QStringLiteral("from"), shownAddress_},
                                   {QStringLiteral("missing_ids"), missing}},
                       &reason);
}

void RemoteWatch::tick()
{
    store_pending();
    if (!paused_) {
        plot_->refresh_view();
        emit refreshed();
    }
    show_state();
}

void RemoteWatch::show_state()
{
    QStringList parts;
    parts.append(watcher_ != nullptr ? tr("Watching %1").arg(shownAddress_)
                                     : tr("Watched %1").arg(shownAddress_));
    if (!stationState_.isEmpty())
        parts.append(tr("station %1").arg(stationState_));
    if (!run_.isEmpty()) {
        QString run = tr("run %1").arg(run_);
        if (facts_) {
            run += tr(", %1 channel, %2 p/s, started %3")
                       .arg(facts_->mode())
                       .arg(facts_->rate)
                       .arg(facts_->started.toLocalTime().toString(
                           QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            if (facts_->is_complete())
                run += tr(", %1").arg(facts_->outcome);
        }
        parts.append(run);
        parts.append(tr("%1 rows received").arg(receivedRows_));
        if (!missingIds_.isEmpty())
            parts.append(tr("%1 missing").arg(missingIds_.size()));
    } else if (watcher_ != nullptr) {
        parts.append(tr("waiting for a run"));
    }
    if (watcher_ != nullptr && watcher_->link() != MqttWatcher::Link::Online)
        parts.append(linkProblem_.isEmpty() ? tr("connecting") : linkProblem_);
    const QString note = parts.join(QStringLiteral("; "));
    if (note == shownNote_)
        return;
    shownNote_ = note;
    runStatus_->show_note(note,
                          watcher_ != nullptr && watcher_->link() != MqttWatcher::Link::Online);
}
