#include "openrundialog.h"

#include "busydialogjob.h"
#include "mirrortarget.h"
#include "passwordstore.h"
#include "runcatalogue.h"
#include "sampledatabase.h"
#include "savefiledialog.h"
#include "serverruns.h"
#include "settingsstore.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// The server whose runs were listed last.
const QString serverKey = QStringLiteral("review/server");
// How long a server that does not answer is waited for.
constexpr int serverTimeoutSeconds = 10;
} // namespace

OpenRunDialog::OpenRunDialog(const QString &file, QWidget *parent)
    : QDialog(parent)
    , file_(new QLineEdit(file, this))
    , runs_(new QTableWidget(this))
    , open_(new QPushButton(tr("Open"), this))
{
    setWindowTitle(tr("Open Run"));
    auto *layout = new QVBoxLayout(this);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(tr("Database file:"), this));
    fileRow->addWidget(file_, 1);
    auto *browseButton = new QPushButton(tr("Browse…"), this);
    fileRow->addWidget(browseButton);
    layout->addLayout(fileRow);
    auto *serverRow = new QHBoxLayout;
    serverRow->addWidget(new QLabel(tr("Server:"), this));
    server_ = new QLineEdit(read_setting(serverKey, QString()).toString(), this);
    server_->setObjectName(QStringLiteral("serverUri"));
    server_->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/telvane"));
    server_->setToolTip(tr("The PostgreSQL server the runs are mirrored to: a libpq connection "
                           "URI, without a password"));
    serverRow->addWidget(server_, 1);
    auto *listServer = new QPushButton(tr("List Runs"), this);
    listServer->setObjectName(QStringLiteral("listServerRuns"));
    serverRow->addWidget(listServer);
    layout->addLayout(serverRow);
    runs_->setColumnCount(6);
    runs_->setHorizontalHeaderLabels(
        {tr("Run"), tr("Mode"), tr("Channels"), tr("Rows"), tr("Length (s)"), tr("Started")});
    runs_->verticalHeader()->hide();
    runs_->setSelectionBehavior(QAbstractItemView::SelectRows);
    runs_->setSelectionMode(QAbstractItemView::SingleSelection);
    runs_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    runs_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(runs_, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(tr("Cancel"), this);
    buttons->addWidget(open_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    open_->setEnabled(false);
    open_->setDefault(true);
    resize(720, 360);

    connect(browseButton, &QPushButton::clicked, this, &OpenRunDialog::browse);
    connect(listServer, &QPushButton::clicked, this,
            [this] { list_server_runs(server_->text().trimmed()); });
    connect(file_, &QLineEdit::editingFinished, this, [this] { list_runs(file_->text()); });
    connect(runs_, &QTableWidget::itemSelectionChanged, this,
            [this] { open_->setEnabled(!table().isEmpty()); });
    connect(runs_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    connect(open_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    list_runs(file);
}

QString OpenRunDialog::file() const
{
    return file_->text();
}

QString OpenRunDialog::table() const
{
    const QList<QTableWidgetItem *> chosen = runs_->selectedItems();
    return chosen.isEmpty() ? QString() : runs_->item(chosen.first()->row(), 0)->text();
}

bool OpenRunDialog::list_runs(const QString &file)
{
    file_->setText(file);
    listedServer_.clear();
    runs_->setRowCount(0);
    open_->setEnabled(false);
    QString problem;
    // The file is left to SQLite: a plain open and close of a database this process uses
    // would drop the locks SQLite holds on it.
    if (!QFileInfo(file).isFile())
        problem = tr("There is no file %1.").arg(file);
    QList<RunListing> listed;
    if (problem.isEmpty()) {
        SampleDatabase database(file, SampleDatabase::Access::ReadOnly);
        if (const Status opened = database.open_database(); !opened.ok()) {
            problem = tr("%1 cannot be read: %2").arg(file, opened.message());
        } else {
            for (const QString &name : database.run_names()) {
                if (const Result<RunListing> run = database.describe_run(name); run.ok())
                    listed.append(*run);
            }
            if (listed.isEmpty())
                problem = tr("%1 holds no runs that can be read.").arg(file);
        }
    }
    if (!problem.isEmpty()) {
        show_problem(problem);
        return false;
    }
    for (const RunListing &run : std::as_const(listed))
        add_row(run);
    return true;
}

bool OpenRunDialog::list_server_runs(const QString &uri)
{
    server_->setText(uri);
    listedServer_.clear();
    runs_->setRowCount(0);
    open_->setEnabled(false);
    const Result<MirrorTarget> target = MirrorTarget::parse(uri, tr("The server URI"));
    if (!target.ok()) {
        show_problem(target.status().message());
        return false;
    }
    QList<ServerRun> listed;
    const QString password = PasswordStore::wait_for(PasswordStore::server_key(target.value()));
    const QString problem = run_behind_busy_dialog(
        tr("Listing the runs of %1").arg(target->shown()), [&listed, uri, password] {
            // The connection is the worker thread's, and goes with it.
            ServerRuns server(uri, serverTimeoutSeconds, password);
            Result<QList<ServerRun>> runs = server.list();
            if (!runs.ok())
                return runs.status().message();
            listed = std::move(runs.value());
            return QString();
        });
    if (!problem.isEmpty()) {
        show_problem(problem);
        return false;
    }
    write_setting_soon(serverKey, uri);
    if (listed.isEmpty()) {
        show_problem(tr("%1 holds no runs.").arg(target->shown()));
        return false;
    }
    listedServer_ = uri;
    for (const ServerRun &run : std::as_const(listed))
        add_row(run.listing);
    return true;
}

void OpenRunDialog::show_problem(const QString &problem)
{
    runs_->setRowCount(1);
    runs_->setItem(0, 0, new QTableWidgetItem(problem));
    runs_->item(0, 0)->setFlags(Qt::NoItemFlags);
}

void OpenRunDialog::add_row(const RunListing &run)
{
    const int row = runs_->rowCount();
    runs_->insertRow(row);
    const QStringList cells{run.name,
                            run.mode(),
                            QString::number(run.channels),
                            QString::number(run.rows),
                            QString::number(run.length(), 'f', 3),
                            run.started.isValid()
                                ? run.started.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                                : QStringLiteral("-")};
    for (int c = 0; c < cells.size(); ++c)
        runs_->setItem(row, c, new QTableWidgetItem(cells.at(c)));
}

void OpenRunDialog::browse()
{
    const QString chosen = ask_open_file_name(
        this, tr("Database or CSV File"), QFileInfo(file_->text()).absolutePath(),
        tr("Databases (*.db *.sqlite);;CSV Files (*.csv);;All Files (*)"));
    if (chosen.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        // A CSV holds one run: it is opened as it is.
        file_->setText(chosen);
        listedServer_.clear();
        accept();
    } else if (!chosen.isEmpty()) {
        list_runs(chosen);
    }
}
