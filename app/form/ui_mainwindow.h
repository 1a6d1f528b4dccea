#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>

#include "verticalscrollarea.h"

class LegendRows;

// The static widget tree of the main window. Every pointer is named after the
// object name of its widget or layout; the window's on_<name>_<signal> slots
// are attached through those names, so they must not change. The widgets are
// owned by the Qt parent chain, the pointers here only point.
class Ui_MainWindow
{
public:
    QWidget *centralwidget = nullptr;
    QVBoxLayout *verticalLayout_5 = nullptr;
    QWidget *widget_2 = nullptr;
    QHBoxLayout *horizontalLayout_5 = nullptr;

    // Plot column.
    QVBoxLayout *verticalLayout = nullptr;
    QHBoxLayout *voltageLayout = nullptr;
    QWidget *widget_voltage_track = nullptr;
    QGridLayout *gridLayout_3 = nullptr;
    QLabel *label_10 = nullptr;
    QLabel *voltage_label_1 = nullptr;
    QLabel *label_11 = nullptr;
    QLabel *voltage_label_2 = nullptr;
    QLabel *label_12 = nullptr;
    QLabel *voltage_label_3 = nullptr;
    QLabel *label_13 = nullptr;
    QLabel *voltage_label_4 = nullptr;
    QLabel *label_14 = nullptr;
    QLabel *voltage_label_5 = nullptr;
    QLabel *label_15 = nullptr;
    QLabel *voltage_label_6 = nullptr;
    QLabel *label_16 = nullptr;
    QLabel *voltage_label_7 = nullptr;
    QLabel *label_17 = nullptr;
    QLabel *voltage_label_8 = nullptr;
    QLabel *label_18 = nullptr;
    QLabel *voltage_label_9 = nullptr;
    QLabel *label_19 = nullptr;
    QLabel *voltage_label_10 = nullptr;
    QLabel *label_20 = nullptr;
    QLabel *voltage_label_11 = nullptr;
    QLabel *label_21 = nullptr;
    QLabel *voltage_label_12 = nullptr;
    QLabel *label_22 = nullptr;
    QLabel *voltage_label_13 = nullptr;
    QLabel *label_23 = nullptr;
    QLabel *voltage_label_14 = nullptr;
    QLabel *label_24 = nullptr;
    QLabel *voltage_label_15 = nullptr;
    QLabel *label_25 = nullptr;
    QLabel *voltage_label_16 = nullptr;
    LegendRows *legendRows = nullptr;

    // Control column, scrolling when the window is short.
    VerticalScrollArea *controlScrollArea = nullptr;
    QWidget *controlColumn = nullptr;
    QVBoxLayout *verticalLayout_9 = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QComboBox *PortComboBox = nullptr;
    QPushButton *connect = nullptr;
    QCheckBox *reconnectAutomatically = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QWidget *widget_4 = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QRadioButton *SignalChannel = nullptr;
    QRadioButton *MultiChannel = nullptr;
    QGroupBox *channel_button_groupbox = nullptr;
    QGridLayout *gridLayout_2 = nullptr;
    QGroupBox *groupBoxSample = nullptr;
    QVBoxLayout *verticalLayout_4 = nullptr;
    QVBoxLayout *verticalLayout_3 = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout_7 = nullptr;
    QRadioButton *radioButton_slow = nullptr;
    QRadioButton *radioButton_med = nullptr;
    QRadioButton *radioButton_fast = nullptr;
    QGridLayout *gridLayout_4 = nullptr;
    QLabel *label = nullptr;
    QSpinBox *spinBox_sampleSpeed = nullptr;
    QLabel *label_6 = nullptr;
    QSpinBox *spinBox_sampleTime = nullptr;
    QGroupBox *groupBoxExcitation = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QWidget *widget_single = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *label_vout = nullptr;
    QDoubleSpinBox *doubleSpinBox_vout = nullptr;
    QWidget *widget_multi = nullptr;
    QHBoxLayout *horizontalLayout_9 = nullptr;
    QWidget *widget_9 = nullptr;
    QVBoxLayout *verticalLayout_7 = nullptr;
    QLabel *label_vout0 = nullptr;
    QLabel *label_vout1 = nullptr;
    QLabel *label_vout2 = nullptr;
    QLabel *label_vout3 = nullptr;
    QWidget *widget_10 = nullptr;
    QVBoxLayout *verticalLayout_8 = nullptr;
    QDoubleSpinBox *doubleSpinBox_vout1 = nullptr;
    QDoubleSpinBox *doubleSpinBox_vout2 = nullptr;
    QDoubleSpinBox *doubleSpinBox_vout3 = nullptr;
    QDoubleSpinBox *doubleSpinBox_vout4 = nullptr;
    QWidget *widget_3 = nullptr;
    QVBoxLayout *verticalLayout_6 = nullptr;
    QHBoxLayout *horizontalLayout_6 = nullptr;
    QWidget *toolWidget = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QCheckBox *helperYLineCheckBox = nullptr;
    QLineEdit *lineEdit = nullptr;
    QLabel *label_7 = nullptr;
    QLineEdit *lineEdit_error_range = nullptr;
    QPushButton *SampleStart = nullptr;
    QPushButton *SamplePause = nullptr;
    QPushButton *SampleStop = nullptr;
    QPushButton *ExportFile = nullptr;
    QSpacerItem *verticalSpacer = nullptr;

    void setupUi(QMainWindow *MainWindow);
    void retranslateUi(QMainWindow *MainWindow);

private:
    void setupPlotColumn();
    void setupLegend();
    void setupControlColumn();
    void setupSampleGroup();
    void setupExcitationGroup();
    void setupActionPanel();
};

namespace Ui {
class MainWindow : public Ui_MainWindow
{};
} // namespace Ui
