#include "channelpanel.h"

#include "channelpalette.h"
#include "protocol.h"
#include "settingsstore.h"
#include "ui_mainwindow.h"
#include "voltageplot.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
constexpr int boxesPerRow = 4;
// The value labels change on every sixth display tick (about 180 ms).
constexpr int ticksBetweenLabelUpdates = 5;
// Magnitude of the widest reading the value labels make room for, in millivolts.
constexpr double widestReading = 10000.0;

const char *const selectAllName = "SelectAll";

const QString channelBoxSheet = QStringLiteral(
    "QCheckBox {   font: 13px;   color:black;}QCheckBox::indicator {   width: 14px; height: "
    "14px;}QCheckBox::indicator:checked {   background: #FFFFFF;   image: "
    "url(:/image/image_resource/checkbox-checked.png);}QCheckBox::indicator:unchecked {   "
    "background: #FFFFFF;   image: url(:/image/image_resource/checkbox.png);}");

const QString legendSheet = QStringLiteral("QLabel {\n            border: 1px solid %1;\n      "
                                           "      color: black;\n            border-radius: "
                                           "2px;\n        }");

QString visible_key(int channelIndex)
{
    return QStringLiteral("Channel%1Visible").arg(channelIndex);
}

bool stored_visible(int channelIndex)
{
    return read_setting(visible_key(channelIndex), true).toBool();
}

// Channel number 1..16 of a channel box, 0 for anything else.
int channel_of(const QObject *box)
{
    bool ok = false;
    const int channel = box->objectName().toInt(&ok);
    return ok && channel >= 1 && channel <= channelCount ? channel : 0;
}
} // namespace

ChannelPanel::ChannelPanel(Ui::MainWindow *ui, VoltagePlot *plot)
    : ui_(ui)
    , plot_(plot)
{
    size_value_labels();
}

void ChannelPanel::size_value_labels()
{
    // Readings of up to five digits before the point (the instrument's range in millivolts)
    // fit, so the row never widens the window or shifts the controls during a run.
    const QString widest = value_text(-widestReading);
    for (int channel = 1; channel <= channelCount; ++channel) {
        auto *label = ui_->widget_voltage_track->findChild<QLabel *>(
            QStringLiteral("voltage_label_%1").arg(channel));
        if (label == nullptr) {
            continue;
        }
        label->ensurePolished(); // the style sheet decides the font
        const QString shown = label->text();
        label->setText(widest);
        label->setMinimumWidth(label->sizeHint().width());
        label->setText(shown);
    }
}

void ChannelPanel::build_check_boxes(QObject *receiver, const char *channelSlot,
                                     const char *selectAllSlot)
{
    QWidget *group = ui_->channel_button_groupbox;
    auto *grid = qobject_cast<QGridLayout *>(group->layout());
    if (grid == nullptr) {
        grid = new QGridLayout(group);
    }
    while (QLayoutItem *item = grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }

    auto *selectAll = new QCheckBox(QObject::tr("Select All"), group);
    selectAll->setObjectName(QLatin1String(selectAllName));
    QObject::connect(selectAll, SIGNAL(toggled(bool)), receiver, selectAllSlot);
    grid->addWidget(selectAll, 0, 0, 1, boxesPerRow);

    for (int channel = 1; channel <= channelCount; ++channel) {
        auto *box = new QCheckBox(QString::number(channel), group);
        box->setObjectName(QString::number(channel));
        box->setAutoExclusive(false);
        // Checked before connecting, so building stores nothing and leaves the plot alone.
        box->setChecked(stored_visible(channel - 1));
        box->setStyleSheet(channelBoxSheet);
        QObject::connect(box, SIGNAL(toggled(bool)), receiver, channelSlot);
        grid->addWidget(box, (channel - 1) / boxesPerRow + 1, (channel - 1) % boxesPerRow);
    }
}

void ChannelPanel::channel_toggled(QCheckBox *box, bool checked)
{
    const int channel = box == nullptr ? 0 : channel_of(box);
    if (channel == 0) {
        return;
    }
    write_setting_soon(visible_key(channel - 1), checked);
    plot_->set_channel_visible(channel - 1, checked);
}

void ChannelPanel::select_all(bool checked)
{
    for (QCheckBox *box : channel_boxes()) {
        box->setChecked(checked);
    }
}

void ChannelPanel::reload_check_states()
{
    for (QCheckBox *box : channel_boxes()) {
        const int channel = channel_of(box);
        if (channel != 0) {
            box->setChecked(stored_visible(channel - 1));
        }
    }
}

QList<QCheckBox *> ChannelPanel::channel_boxes() const
{
    QList<QCheckBox *> boxes;
    auto *grid = qobject_cast<QGridLayout *>(ui_->channel_button_groupbox->layout());
    if (grid == nullptr) {
        return boxes;
    }
    for (int i = 0; i < grid->count(); ++i) {
        auto *box = qobject_cast<QCheckBox *>(grid->itemAt(i)->widget());
        if (box != nullptr && box->objectName() != QLatin1String(selectAllName)) {
            boxes.append(box);
        }
    }
    return boxes;
}

void ChannelPanel::style_value_labels(bool multiChannel)
{
    QWidget *track = ui_->widget_voltage_track;
    for (int channel = 1; channel <= channelCount; ++channel) {
        if (auto *value =
                track->findChild<QLabel *>(QStringLiteral("voltage_label_%1").arg(channel))) {
            value->clear();
        }
        if (channel < 2) {
            continue; // channel 1 keeps the red frame of the form in both modes
        }
        if (auto *legend =
                track->findChild<QLabel *>(QStringLiteral("label_%1").arg(channel + 9))) {
            const QString colour = multiChannel ? ChannelPalette::colours().at(channel - 1).name()
                                                : QStringLiteral("gray");
            legend->setStyleSheet(legendSheet.arg(colour));
        }
    }
}

void ChannelPanel::refresh_value_labels(bool singleChannel)
{
    if (valueLabels_.isEmpty()) {
        for (int channel = 1; channel <= channelCount; ++channel) {
            valueLabels_.append(ui_->widget_voltage_track->findChild<QLabel *>(
                QStringLiteral("voltage_label_%1").arg(channel)));
        }
    }
    if (refreshCounter_ < ticksBetweenLabelUpdates) {
        ++refreshCounter_;
        return;
    }
    refreshCounter_ = 0;

    if (singleChannel) {
        if (valueLabels_.first() != nullptr) {
            valueLabels_.first()->setText(value_text(plot_->channel_value(0)));
        }
        return;
    }
    for (int index = 0; index < channelCount; ++index) {
        QLabel *label = valueLabels_.at(index);
        if (label == nullptr) {
            continue;
        }
        label->setText(stored_visible(index) ? value_text(plot_->channel_value(index)) : QString());
    }
}

QList<bool> ChannelPanel::stored_visibility()
{
    QList<bool> visible;
    for (int index = 0; index < channelCount; ++index) {
        visible.append(stored_visible(index));
    }
    return visible;
}

QString ChannelPanel::value_text(double millivolts)
{
    return QStringLiteral("  ") + QString::number(millivolts, 'f', 1) + QStringLiteral(" mV");
}
