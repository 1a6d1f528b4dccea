#include "runreview.h"

#include "busydialogjob.h"

#include "channelpanel.h"
#include "csvimport.h"
#include "cursorreadout.h"
#include "gapbands.h"
#include "mirrortarget.h"
#include "openrundialog.h"
#include "passwordstore.h"
#include "runmarking.h"
#include "runstatusbar.h"
#include "runtablename.h"
#include "sampledatabase.h"
#include "serverruns.h"
#include "voltageplot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <optional>

namespace {
// How long a server that does not answer is waited for.
constexpr int serverTimeoutSeconds = 10;

// When the run in table started, local: its facts to the millisecond, else its name to the
// second; invalid for a run with neither (an imported CSV's scratch table).
QDateTime stored_run_start(SampleDatabase *database, const QString &table)
{
    if (const std::optional<RunFacts> facts = database->read_facts(table);
        facts && facts->started.isValid())
        return facts->started.toLocalTime();
    return run_start_time(table);
}

enum class ReviewFile { Database, Csv, Neither };

// What a file given to the window is, from its first bytes: SQLite's header (or nothing, which
// SQLite takes for an empty database), a CSV by its name or the start of an export's header.
// A file that cannot be read counts as a database, whose opening tells why.
ReviewFile review_file_kind(const QString &path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ReviewFile::Csv;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReviewFile::Database;
    QByteArray start = file.read(16);
    if (start.isEmpty() || start == QByteArray("SQLite format 3", 16))
        return ReviewFile::Database;
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.startsWith("id,time,") ? ReviewFile::Csv : ReviewFile::Neither;
}
} // namespace

RunReview::RunReview(QWidget *window, SampleDatabase *database, VoltagePlot *plot,
                     CursorReadout *cursorReadout, RunMarking *marking, RunStatusBar *runStatus,
                     std::function<bool()> recording)
    : QObject(window)
    , window_(window)
    , recording_(std::move(recording))
    , database_(database)
    , plot_(plot)
    , cursorReadout_(cursorReadout)
    , marking_(marking)
    , runStatus_(runStatus)
{}

RunReview::~RunReview() = default;

QString RunReview::shown_table() const
{
    return reviewedTable_.isEmpty() ? database_->current_table_name() : reviewedTable_;
}

SampleDatabase *RunReview::shown_database() const
{
    return reviewDatabase_ ? reviewDatabase_.get() : database_;
}

bool RunReview::open_file(const QString &file, const QString &table)
{
    if (MirrorTarget::names_server(file))
        return table.isEmpty() ? choose_run(file) : open_server_run(file, table);
    switch (review_file_kind(file)) {
    case ReviewFile::Csv:
        return open_csv(file);
    case ReviewFile::Database:
        return table.isEmpty() ? choose_run(file) : open_run(file, table);
    case ReviewFile::Neither:
        break;
    }
    QMessageBox::warning(window_, tr("Warning"),
                         tr("%1 cannot be opened: it is neither a database nor a CSV file of "
                            "this program.")
                             .arg(QDir::toNativeSeparators(file)));
    return false;
}

bool RunReview::choose_run(const QString &file)
{
    if (!may_open())
        return false;
    const bool server = MirrorTarget::names_server(file);
    OpenRunDialog dialog(file.isEmpty() || server ? database_->file_name() : file, window_);
    if (server)
        dialog.list_server_runs(file);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (!dialog.server().isEmpty())
        return !dialog.table().isEmpty() && open_server_run(dialog.server(), dialog.table());
    if (dialog.file().endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return open_csv(dialog.file());
    return !dialog.table().isEmpty() && open_run(dialog.file(), dialog.table());
}

bool RunReview::open_run(const QString &file, const QString &table)
{
    if (!may_open())
        return false;
    if (file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return open_csv(file);
    const bool own = QFileInfo(file).canonicalFilePath() ==
                     QFileInfo(database_->file_name()).canonicalFilePath();
    if (own)
        return show_run(nullptr, database_, file, table, false);
    auto other = std::make_unique<SampleDatabase>(file, SampleDatabase::Access::ReadOnly);
    QString reason;
    if (!QFileInfo(file).isFile())
        reason = tr("there is no such file");
    else if (const Status opened = other->open_database(); !opened.ok())
        reason = opened.message();
    if (!reason.isEmpty()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("The run %1 of %2 cannot be opened: %3.").arg(table, file, reason));
        return false;
    }
    SampleDatabase *source = other.get();
    return show_run(std::move(other), source, file, table, true);
}

bool RunReview::open_csv(const QString &file)
{
    if (!may_open())
        return false;
    auto folder = std::make_unique<QTemporaryDir>();
    auto scratch = std::make_unique<SampleDatabase>(folder->filePath(QStringLiteral("run.db")),
                                                    SampleDatabase::Access::Scratch);
    if (!folder->isValid() || !scratch->open_database().ok()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("No scratch database for %1 could be made.").arg(file));
        return false;
    }
    // Read on a worker thread; the busy dialog shows how much of the file is in.
    CsvImport import;
    SampleDatabase *target = scratch.get();
    BusyDialogJob busy(tr("Reading the CSV file"));
    const qint64 size = std::max<qint64>(1, QFileInfo(file).size());
    QFutureWatcher<Result<CsvImport::ImportedRun>> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, busy.dialog(),
                     [&busy] { busy.end(); });
    watcher.setFuture(
        QtConcurrent::run([&import, file, target] { return import.read(file, *target); }));
    // Shown even for a small file: the operator sees one sequence always.
    busy.exec([&import, size] {
        return tr("Reading the CSV file: %1 %").arg(100 * import.bytes_read().load() / size);
    });
    // The operator may close the dialog early (Escape): the file is read in all the same.
    watcher.waitForFinished();
    const Result<CsvImport::ImportedRun> imported = watcher.result();
    if (!imported.ok()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("%1 cannot be opened: %2.").arg(file, imported.status().message()));
        return false;
    }
    SampleDatabase *source = scratch.get();
    const bool shown = show_run(std::move(scratch), source, file, imported->table, true);
    if (shown)
        scratchFolder_ = std::move(folder); // the one before went with its database
    return shown;
}

bool RunReview::open_server_run(const QString &uri, const QString &name)
{
    if (!may_open())
        return false;
    const Result<MirrorTarget> target = MirrorTarget::parse(uri, tr("The server URI"));
    const QString shown = target.ok() ? target->shown() : uri;
    const auto refuse = [&](const QString &reason) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("The run %1 of %2 cannot be opened: %3.").arg(name, shown, reason));
        return false;
    };
    if (!target.ok())
        return refuse(target.status().message());
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid())
        return refuse(tr("no scratch folder could be made"));
    const QString file = folder->filePath(QStringLiteral("run.db"));
    // Made here for the busy dialog's counts; its connection is opened and used by the worker
    // thread alone, and closed here once that thread has ended: never two threads at once.
    ServerRuns server(uri, serverTimeoutSeconds,
                      PasswordStore::wait_for(PasswordStore::server_key(target.value())));
    const QString problem = run_behind_busy_dialog(
        tr("Copying the run %1 from %2").arg(name, shown),
        [&server, name, file] { return server.download(name, file).message(); },
        [&server, name, shown] {
            const qint64 total = server.rows_total();
            return tr("Copying the run %1 from %2: %3 %")
                .arg(name, shown)
                .arg(total > 0 ? 100 * server.rows_copied() / total : 0);
        });
    if (!problem.isEmpty())
        return refuse(problem);
    auto scratch = std::make_unique<SampleDatabase>(file, SampleDatabase::Access::ReadOnly);
    if (const Status opened = scratch->open_database(); !opened.ok())
        return refuse(opened.message());
    SampleDatabase *source = scratch.get();
    const bool opened = show_run(std::move(scratch), source, shown, name, true);
    if (opened)
        scratchFolder_ = std::move(folder); // the one before went with its database
    return opened;
}

bool RunReview::show_run(std::unique_ptr<SampleDatabase> owned, SampleDatabase *source,
                         const QString &file, const QString &table, bool readOnly)
{
    const Result<RunListing> run = source->describe_run(table);
    QString reason = run.status().message();
    if (run.ok() && (run->channels == 0 || !SampleDatabase::is_valid_table_name(table) ||
                     !source->table_exists(table)))
        reason = tr("it is not a run table of this program");
    if (!reason.isEmpty() || !run.ok()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("The run %1 of %2 cannot be opened: %3.").arg(table, file, reason));
        return false;
    }
    const bool single = run->channels == 1;
    emit channel_mode_needed(single);
    plot_->show_stored_run(source, table, single, ChannelPanel::stored_visibility(),
                           run->firstTime.value_or(0.0), run->lastTime.value_or(0.0));
    plot_->set_run_start(stored_run_start(source, table));
    const QList<RunGap> gaps = source->read_gaps(table);
    plot_->gap_bands()->set_gaps(gaps);
    marking_->show_run(source, table, !readOnly);
    cursorReadout_->set_run(source, table);
    cursorReadout_->set_shown_channels(ChannelPanel::stored_visibility());
    reviewDatabase_ = std::move(owned); // the one before goes once the plot left it
    reviewedTable_ = table;
    // The status bar's counts are the last recorded run's; the reviewed run's gaps go here.
    runStatus_->show_note(tr("Reviewing %1 of %2 (%3 rows, %4)%5. Shift+click and Ctrl+click "
                             "place cursors A and B.")
                              .arg(table, QDir::toNativeSeparators(file))
                              .arg(run->rows)
                              .arg(gaps.isEmpty() ? tr("no gaps") : tr("gaps: %1").arg(gaps.size()))
                              .arg(readOnly ? tr(", read-only") : QString()),
                          false);
    emit run_shown();
    return true;
}

void RunReview::end_review()
{
    // Nothing reads the reviewed file after this.
    plot_->set_database(database_);
    cursorReadout_->set_run(database_, QString());
    reviewDatabase_.reset();
    reviewedTable_.clear();
    marking_->show_run(database_, QString(), false);
}

bool RunReview::may_open()
{
    if (!recording_())
        return true;
    QMessageBox::information(window_, tr("Message"),
                             tr("Stop the run before opening a recorded one."));
    return false;
}
