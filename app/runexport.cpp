#include "runexport.h"

#include "csvexporter.h"
#include "loading.h"
#include "logmanager.h"
#include "plotcursors.h"
#include "pngexporter.h"
#include "runsidecar.h"
#include "sampledatabase.h"
#include "savefiledialog.h"
#include "voltageplot.h"

#include <QCheckBox>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>

namespace {
// The icon and the minimise, maximise and close buttons beside a dialog's title.
constexpr int titleBarControlsPx = 200;
// The busy dialog stays up at least this long, so a quick export shows the operator the same
// sequence as a long one.
constexpr std::chrono::milliseconds busyShownAtLeast{100};

// The name the files' extensions go after: what was typed, less the extension of a kind
// being written ("run.csv" writes run.csv, not run.csv.csv).
QString base_name(const QString &typed, const QStringList &extensions)
{
    for (const QString &extension : extensions) {
        if (typed.endsWith(extension))
            return typed.chopped(extension.size());
    }
    return typed;
}
} // namespace

RunExport::RunExport(QWidget *window, SampleDatabase *database, const QString &table,
                     VoltagePlot *plot)
    : window_(window)
    , database_(database)
    , table_(table)
    , plot_(plot)
{
    // The kinds offered, in this order; the first one chosen writes the sidecar.
    kinds_.push_back({tr("Export CSV data file"), true, QStringLiteral("CSV save failed"), true,
                      std::make_unique<CsvExporter>(CsvExporter::Precision::Run)});
    kinds_.push_back({tr("Export Picture"), false, QStringLiteral("Image save failed"), false,
                      std::make_unique<PngExporter>(plot)});
}

RunExport::~RunExport() = default;

bool RunExport::run(QString &directory)
{
    Chosen chosen;
    bool between = false;
    if (!choose_kinds(chosen, between))
        return false;
    if (chosen.empty()) {
        QMessageBox::warning(window_, tr("Warning"), tr("Please select at least one export type"));
        return false;
    }
    write_log(QStringLiteral("导出数据"));
    // The run's table name tells the files of one run from another's.
    const QString typed =
        ask_save_file_name(window_, tr("Saving Data Files"), directory, QString(), table_);
    QStringList extensions;
    for (const Kind *kind : chosen)
        extensions.append(kind->exporter->extension());
    const QString path = base_name(typed, extensions);
    if (path.isEmpty())
        return false;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    directory = slash < 0 ? path : path.left(slash);
    // The names are given in full: the extensions are appended to the base name.
    QStringList files;
    for (const QString &extension : std::as_const(extensions))
        files.append(path + extension);
    files.append(run_sidecar::path_beside(files.front()));
    if (!may_replace(files, typed))
        return false;

    std::optional<TimeRange> range;
    if (between)
        range = plot_->cursors()->printed_range();
    const QString failure = write_files(path, chosen, range);
    if (!failure.isEmpty()) {
        QMessageBox::critical(window_, tr("Error"), failure);
        return false;
    }
    QStringList written;
    for (const QString &file : std::as_const(files))
        written.append(QDir::toNativeSeparators(file));
    QMessageBox::information(window_, tr("Information"),
                             tr("Export successful") + QStringLiteral("\n\n") +
                                 tr("Files written:") + QLatin1Char('\n') +
                                 written.join(QLatin1Char('\n')));
    return std::any_of(chosen.begin(), chosen.end(),
                       [](const Kind *kind) { return kind->savesRun; });
}

bool RunExport::may_replace(const QStringList &files, const QString &asked)
{
    QStringList existing;
    for (const QString &file : files) {
        // Only a file: the write fails on anything else, and says so.
        if (file != asked && QFileInfo(file).isFile())
            existing.append(QDir::toNativeSeparators(file));
    }
    if (existing.isEmpty())
        return true;
    return QMessageBox::warning(
               window_, tr("Warning"),
               tr("These files exist already and would be replaced:") + QLatin1Char('\n') +
                   existing.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + tr("Replace them?"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool RunExport::choose_kinds(Chosen &chosen, bool &between)
{
    QDialog options(window_);
    options.setWindowTitle(tr("Export Option"));
    auto *layout = new QVBoxLayout(&options);
    std::vector<QCheckBox *> boxes;
    for (const Kind &kind : kinds_) {
        auto *box = new QCheckBox(kind.label, &options);
        box->setChecked(kind.checked);
        layout->addWidget(box);
        boxes.push_back(box);
    }
    const PlotCursors *cursors = plot_->cursors();
    QRadioButton *stretchChoice = nullptr;
    if (cursors->is_placed()) {
        auto *wholeChoice = new QRadioButton(tr("The whole run"), &options);
        wholeChoice->setChecked(true);
        stretchChoice = new QRadioButton(tr("Between the cursors (%1 to %2 s)")
                                             .arg(QString::number(cursors->from(), 'f', 4),
                                                  QString::number(cursors->to(), 'f', 4)),
                                         &options);
        layout->addWidget(wholeChoice);
        layout->addWidget(stretchChoice);
    }
    auto *buttons = new QHBoxLayout;
    auto *confirm = new QPushButton(tr("Confirm"), &options);
    auto *cancel = new QPushButton(tr("Cancel"), &options);
    buttons->addWidget(confirm);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(confirm, &QPushButton::clicked, &options, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &options, &QDialog::reject);
    // Wide enough for its title next to the window buttons of a usual title bar.
    options.setMinimumWidth(std::max(
        options.sizeHint().width(),
        options.fontMetrics().horizontalAdvance(options.windowTitle()) + titleBarControlsPx));
    if (options.exec() != QDialog::Accepted)
        return false;
    chosen.clear();
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
        if (boxes[i]->isChecked())
            chosen.push_back(&kinds_[i]);
    }
    between = stretchChoice != nullptr && stretchChoice->isChecked();
    return true;
}

QString RunExport::write_files(const QString &path, const Chosen &chosen,
                               const std::optional<TimeRange> &range)
{
    // The sidecar describes the rows of the first kind chosen; the other files show the same.
    const Kind *describing = chosen.front();
    const QString sidecar = run_sidecar::path_beside(path + describing->exporter->extension());
    SampleDatabase *database = database_;
    const QString table = table_;
    const auto write = [database, table, path, range, describing, sidecar](const Kind &kind) {
        QString failedFile;
        RunExporter::Request request;
        request.database = database;
        request.table = table;
        request.range = range;
        request.path = path + kind.exporter->extension();
        request.sidecar = &kind == describing;
        request.failedFile = &failedFile;
        const Status status = kind.exporter->write(request);
        return status.ok() ? QString() : failure_of(kind, status, failedFile, sidecar);
    };
    Chosen onWorker;
    Chosen onGuiThread;
    for (const Kind *kind : chosen)
        (kind->exporter->needs_gui_thread() ? onGuiThread : onWorker).push_back(kind);
    QString failure = write_behind_busy_dialog([onWorker, write]() -> QString {
        write_log(QStringLiteral("导出数据"));
        for (const Kind *kind : onWorker) {
            if (QString failed = write(*kind); !failed.isEmpty())
                return failed;
        }
        return QString();
    });
    // Only the GUI thread may touch the plot, so those files come after the others.
    for (const Kind *kind : onGuiThread) {
        if (!failure.isEmpty())
            break;
        failure = write(*kind);
    }
    return failure;
}

QString RunExport::failure_of(const Kind &kind, const Status &status, const QString &failedFile,
                              const QString &sidecar)
{
    if (failedFile != sidecar)
        return kind.failure;
    qDebug().noquote() << "JSON save failed:" << status.message();
    return QStringLiteral("JSON save failed");
}

QString RunExport::write_behind_busy_dialog(const std::function<QString()> &job)
{
    // A pool of its own whose thread ends with the job, taking along the database connection
    // the job opened.
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setExpiryTimeout(0);
    Loading loading(tr("Export"));
    bool finished = false;
    QTimer shown;
    shown.setSingleShot(true);
    const auto closeWhenDone = [&finished, &shown, &loading]() {
        if (finished && !shown.isActive())
            loading.close();
    };
    QObject::connect(&shown, &QTimer::timeout, &loading, closeWhenDone);
    QFutureWatcher<QString> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loading,
                     [&finished, closeWhenDone]() {
                         finished = true;
                         closeWhenDone();
                     });
    shown.start(busyShownAtLeast);
    watcher.setFuture(QtConcurrent::run(&pool, job));
    loading.exec();
    return watcher.future().result(); // waits when the dialog was closed early
}
