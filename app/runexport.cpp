#include "runexport.h"

#include "busydialogjob.h"
#include "logmanager.h"
#include "plotcursors.h"
#include "sampledatabase.h"
#include "savefiledialog.h"
#include "voltageplot.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace {
// How long the picture of a stretch waits for the stretch's rows at most.
constexpr std::chrono::milliseconds stretchLoadLimit{10000};
// The icon and the minimise, maximise and close buttons beside a dialog's title.
constexpr int titleBarControlsPx = 200;

QString sidecar_failure(const CsvOutcome &outcome)
{
    if (!outcome.ok())
        qDebug().noquote() << "JSON save failed:" << outcome.reason;
    return outcome.ok() ? QString() : QStringLiteral("JSON save failed");
}

// The name the files' extensions go after: what was typed, less the extension of a kind
// being written ("run.csv" writes run.csv, not run.csv.csv).
QString base_name(const QString &typed, bool csv, bool picture)
{
    const QString table = QStringLiteral(".csv");
    const QString image = QStringLiteral(".png");
    if (csv && typed.endsWith(table))
        return typed.chopped(table.size());
    if (picture && typed.endsWith(image))
        return typed.chopped(image.size());
    return typed;
}
} // namespace

RunExport::RunExport(QWidget *window, SampleDatabase *database, const QString &table,
                     VoltagePlot *plot)
    : window_(window)
    , database_(database)
    , table_(table)
    , plot_(plot)
{}

bool RunExport::run(QString &directory)
{
    bool csv = true;
    bool picture = false;
    bool between = false;
    if (!choose_kinds(csv, picture, between))
        return false;
    if (!csv && !picture) {
        QMessageBox::warning(window_, tr("Warning"), tr("Please select at least one export type"));
        return false;
    }
    write_log(QStringLiteral("导出数据"));
    // The run's table name tells the files of one run from another's.
    const QString typed =
        ask_save_file_name(window_, tr("Saving Data Files"), directory, QString(), table_);
    const QString path = base_name(typed, csv, picture);
    if (path.isEmpty())
        return false;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    directory = slash < 0 ? path : path.left(slash);
    // The names are given in full: the extensions are appended to the base name.
    QStringList files;
    if (csv)
        files.append(path + QStringLiteral(".csv"));
    if (picture)
        files.append(path + QStringLiteral(".png"));
    files.append(path + QStringLiteral(".json"));
    if (!may_replace(files, typed))
        return false;

    QString failure = write_table(path, csv, between);
    // The picture is rendered here, after the table: only the GUI thread may touch the plot.
    const QString png = path + QStringLiteral(".png");
    if (failure.isEmpty() && picture && !(between ? save_stretch_png(png) : plot_->save_png(png)))
        failure = QStringLiteral("Image save failed");
    // With a CSV the sidecar is written already; it describes the same rows.
    if (failure.isEmpty() && picture && !csv)
        failure = sidecar_failure(database_->write_sidecar(
            png, table_,
            between ? std::optional<TimeRange>(plot_->cursors()->printed_range()) : std::nullopt));
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
    return csv;
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

bool RunExport::choose_kinds(bool &csv, bool &picture, bool &between)
{
    QDialog options(window_);
    options.setWindowTitle(tr("Export Option"));
    auto *layout = new QVBoxLayout(&options);
    auto *csvBox = new QCheckBox(tr("Export CSV data file"), &options);
    csvBox->setChecked(true);
    auto *pictureBox = new QCheckBox(tr("Export Picture"), &options);
    pictureBox->setChecked(false);
    layout->addWidget(csvBox);
    layout->addWidget(pictureBox);
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
    csv = csvBox->isChecked();
    picture = pictureBox->isChecked();
    between = stretchChoice != nullptr && stretchChoice->isChecked();
    return true;
}

QString RunExport::write_table(const QString &path, bool csv, bool between)
{
    SampleDatabase *database = database_;
    const QString table = table_;
    std::optional<TimeRange> range;
    if (between)
        range = plot_->cursors()->printed_range();
    return run_behind_busy_dialog(tr("Export"), [database, table, path, csv, range]() -> QString {
        write_log(QStringLiteral("导出数据"));
        if (!csv)
            return QString();
        const QString file = path + QStringLiteral(".csv");
        const bool written =
            database->write_csv(file, table, SampleDatabase::runExportDecimals, range).ok();
        if (!written)
            return QStringLiteral("CSV save failed");
        const QString failure = sidecar_failure(database->write_sidecar(file, table, range));
        // A table without the sidecar that says what it holds is no export: neither stays.
        if (!failure.isEmpty())
            QFile::remove(file);
        return failure;
    });
}

bool RunExport::save_stretch_png(const QString &path)
{
    const QCPRange view = plot_->xAxis->range();
    plot_->xAxis->setRange(plot_->cursors()->from(), plot_->cursors()->to());
    // The rows of the stretch come from the loader thread; the picture waits for them.
    QDeadlineTimer deadline(stretchLoadLimit);
    while (plot_->is_loading() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    const bool saved = plot_->save_png(path);
    plot_->xAxis->setRange(view);
    return saved;
}
