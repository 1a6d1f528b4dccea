#include "formsetup.h"

#include "channelpalette.h"
#include "formstylesheets.h"
#include "legendrows.h"
#include "ui_mainwindow.h"

namespace {

void apply_style_sheets(Ui::MainWindow &ui, QMainWindow *window)
{
    window->setStyleSheet(FormStyleSheets::window());
    ui.centralwidget->setStyleSheet(FormStyleSheets::central());
    ui.PortComboBox->setStyleSheet(FormStyleSheets::port_combo());
    ui.connect->setStyleSheet(FormStyleSheets::connect_button());
    ui.channel_button_groupbox->setStyleSheet(FormStyleSheets::check_box());
    ui.spinBox_sampleSpeed->setStyleSheet(FormStyleSheets::spin_box());
    ui.spinBox_sampleTime->setStyleSheet(FormStyleSheets::spin_box());
    ui.groupBoxExcitation->setStyleSheet(FormStyleSheets::excitation_group());
    for (QDoubleSpinBox *box :
         {ui.doubleSpinBox_vout, ui.doubleSpinBox_vout1, ui.doubleSpinBox_vout2,
          ui.doubleSpinBox_vout3, ui.doubleSpinBox_vout4})
        box->setStyleSheet(FormStyleSheets::double_spin_box());
    // The action buttons have no sheet of their own: they take the panel's.
    ui.widget_3->setStyleSheet(FormStyleSheets::action_panel());
    ui.helperYLineCheckBox->setStyleSheet(FormStyleSheets::check_box());
    ui.lineEdit->setStyleSheet(FormStyleSheets::line_edit());
    ui.lineEdit_error_range->setStyleSheet(FormStyleSheets::line_edit());
}

// Frames each channel's number and colours its value in the channel's colour, and hands the
// labels to the legend's rows.
void setup_legend(Ui::MainWindow &ui)
{
    QWidget *legend = ui.widget_voltage_track;
    QList<QWidget *> labels;
    for (int index = 0; index < ChannelPalette::channelCount; ++index) {
        const int channel = index + 1;
        auto *number = legend->findChild<QLabel *>(QStringLiteral("label_%1").arg(channel + 9),
                                                   Qt::FindDirectChildrenOnly);
        auto *value = legend->findChild<QLabel *>(QStringLiteral("voltage_label_%1").arg(channel),
                                                  Qt::FindDirectChildrenOnly);
        Q_ASSERT(number != nullptr && value != nullptr);
        const QString colour = ChannelPalette::sheet_colour(index);
        // Channel 1's sheet has always carried no comment; the others name their colour.
        const QString name = index == 0 ? QString() : ChannelPalette::colour_name(index);
        number->setStyleSheet(FormStyleSheets::channel_number(colour, name));
        value->setStyleSheet(FormStyleSheets::value_label(colour));
        labels << number << value;
    }
    // Rows of 8 until the legend is laid out and knows its width.
    auto *rows = new LegendRows(legend, ui.gridLayout_3, labels);
    rows->arrange(8);
}

} // namespace

void complete_form(Ui::MainWindow &ui, QMainWindow *window)
{
    apply_style_sheets(ui, window);
    setup_legend(ui);
    // setupUi has given the column to the scroll area already, which turned its background on.
    ui.controlScrollArea->set_column(ui.controlColumn);
}
