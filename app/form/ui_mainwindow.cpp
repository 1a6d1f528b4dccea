#include "ui_mainwindow.h"

#include "formstylesheets.h"
#include "legendrows.h"

#include <QCoreApplication>
#include <QFont>
#include <QMetaObject>
#include <QSizePolicy>

namespace {

// Default margin of the style, for the sides the form leaves alone.
constexpr int styleMargin = -1;

struct LegendEntry
{
    QLabel *Ui_MainWindow::*numberLabel;
    const char *numberName;
    QLabel *Ui_MainWindow::*valueLabel;
    const char *valueName;
    const char *colour;
    const char *colourName; // empty for channel 1, whose sheet carries no comment
};

// Channel n is entry n-1; these are the channel colours of the whole application.
const LegendEntry legend[16] = {
    {&Ui_MainWindow::label_10, "label_10", &Ui_MainWindow::voltage_label_1, "voltage_label_1",
     "rgb(255,0,0)", ""},
    {&Ui_MainWindow::label_11, "label_11", &Ui_MainWindow::voltage_label_2, "voltage_label_2",
     "rgb(0,255,0)", "Green"},
    {&Ui_MainWindow::label_12, "label_12", &Ui_MainWindow::voltage_label_3, "voltage_label_3",
     "rgb(0,0,255)", "Blue"},
    {&Ui_MainWindow::label_13, "label_13", &Ui_MainWindow::voltage_label_4, "voltage_label_4",
     "rgb(255,102,0)", "Orange"},
    {&Ui_MainWindow::label_14, "label_14", &Ui_MainWindow::voltage_label_5, "voltage_label_5",
     "rgb(255,0,255)", "Magenta"},
    {&Ui_MainWindow::label_15, "label_15", &Ui_MainWindow::voltage_label_6, "voltage_label_6",
     "rgb(0,255,255)", "Cyan"},
    {&Ui_MainWindow::label_16, "label_16", &Ui_MainWindow::voltage_label_7, "voltage_label_7",
     "rgb(128,0,0)", "Dark Red"},
    {&Ui_MainWindow::label_17, "label_17", &Ui_MainWindow::voltage_label_8, "voltage_label_8",
     "rgb(0,128,0)", "Dark Green"},
    {&Ui_MainWindow::label_18, "label_18", &Ui_MainWindow::voltage_label_9, "voltage_label_9",
     "rgb(0,0,128)", "Dark Blue"},
    {&Ui_MainWindow::label_19, "label_19", &Ui_MainWindow::voltage_label_10, "voltage_label_10",
     "rgb(128,128,0)", "Olive"},
    {&Ui_MainWindow::label_20, "label_20", &Ui_MainWindow::voltage_label_11, "voltage_label_11",
     "rgb(128,0,128)", "Purple"},
    {&Ui_MainWindow::label_21, "label_21", &Ui_MainWindow::voltage_label_12, "voltage_label_12",
     "rgb(0,128,128)", "Teal"},
    {&Ui_MainWindow::label_22, "label_22", &Ui_MainWindow::voltage_label_13, "voltage_label_13",
     "rgb(165,42,42)", "Brown"},
    {&Ui_MainWindow::label_23, "label_23", &Ui_MainWindow::voltage_label_14, "voltage_label_14",
     "rgb(210,105,30)", "Chocolate"},
    {&Ui_MainWindow::label_24, "label_24", &Ui_MainWindow::voltage_label_15, "voltage_label_15",
     "rgb(95,158,160)", "Cadet Blue"},
    {&Ui_MainWindow::label_25, "label_25", &Ui_MainWindow::voltage_label_16, "voltage_label_16",
     "rgb(211,105,211)", "Orchid"},
};
// Between the number and value labels of the legend, and between channels.
constexpr int legendSpacing = 6;

template <typename T> T *makeNamed(QWidget *parent, const char *name)
{
    auto *object = new T(parent);
    object->setObjectName(QString::fromUtf8(name));
    return object;
}

template <typename T> T *makeLayout(const char *name)
{
    auto *layout = new T();
    layout->setObjectName(QString::fromUtf8(name));
    return layout;
}

// A layout installed on the widget it arranges.
template <typename T> T *makeOwnLayout(QWidget *owner, const char *name)
{
    auto *layout = new T(owner);
    layout->setObjectName(QString::fromUtf8(name));
    return layout;
}

QSizePolicy expandingFixedPolicy(const QWidget *widget)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(widget->sizePolicy().hasHeightForWidth());
    return policy;
}

QSpinBox *makeSpinBox(QWidget *parent, const char *name, int maximum)
{
    auto *box = makeNamed<QSpinBox>(parent, name);
    box->setStyleSheet(FormStyleSheets::spin_box());
    box->setAlignment(Qt::AlignCenter);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setMinimum(1);
    box->setMaximum(maximum);
    box->setValue(100);
    return box;
}

// Excitation voltage entry; the ±10 V range is the state without attenuation module.
QDoubleSpinBox *makeExcitationBox(QWidget *parent, const char *name)
{
    auto *box = makeNamed<QDoubleSpinBox>(parent, name);
    box->setSizePolicy(expandingFixedPolicy(box));
    box->setStyleSheet(FormStyleSheets::double_spin_box());
    box->setAlignment(Qt::AlignCenter);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setDecimals(3);
    box->setMinimum(-10.0);
    box->setMaximum(10.0);
    return box;
}

QPushButton *makeActionButton(QWidget *parent, const char *name)
{
    auto *button = makeNamed<QPushButton>(parent, name);
    button->setMinimumSize(QSize(75, 40));
    return button;
}

QFont boldArial()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial")});
    font.setBold(true);
    return font;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QStringLiteral("MainWindow"));
    MainWindow->resize(1092, 814);
    MainWindow->setStyleSheet(FormStyleSheets::window());

    centralwidget = makeNamed<QWidget>(MainWindow, "centralwidget");
    centralwidget->setMinimumSize(QSize(0, 450));
    centralwidget->setStyleSheet(FormStyleSheets::central());
    verticalLayout_5 = makeOwnLayout<QVBoxLayout>(centralwidget, "verticalLayout_5");
    verticalLayout_5->setSpacing(2);
    verticalLayout_5->setContentsMargins(2, 2, 2, 2);

    widget_2 = makeNamed<QWidget>(centralwidget, "widget_2");
    horizontalLayout_5 = makeOwnLayout<QHBoxLayout>(widget_2, "horizontalLayout_5");
    horizontalLayout_5->setContentsMargins(0, 0, 0, 0);

    setupPlotColumn();
    setupControlColumn();
    // The plot column takes 7 parts of any extra width, the controls 3.
    horizontalLayout_5->setStretch(0, 7);
    horizontalLayout_5->setStretch(1, 3);

    verticalLayout_5->addWidget(widget_2);
    MainWindow->setCentralWidget(centralwidget);

    retranslateUi(MainWindow);

    QMetaObject::connectSlotsByName(MainWindow);
}

void Ui_MainWindow::setupPlotColumn()
{
    verticalLayout = makeLayout<QVBoxLayout>("verticalLayout");
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(styleMargin, 0, styleMargin, styleMargin);
    voltageLayout = makeLayout<QHBoxLayout>("voltageLayout");
    verticalLayout->addLayout(voltageLayout);

    widget_voltage_track = makeNamed<QWidget>(widget_2, "widget_voltage_track");
    // The legend's rows decide its minimum size; its width is whatever the plot column has.
    QSizePolicy legendPolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    widget_voltage_track->setSizePolicy(legendPolicy);
    gridLayout_3 = makeOwnLayout<QGridLayout>(widget_voltage_track, "gridLayout_3");
    gridLayout_3->setContentsMargins(50, styleMargin, styleMargin, styleMargin);
    gridLayout_3->setHorizontalSpacing(legendSpacing);
    setupLegend();
    verticalLayout->addWidget(widget_voltage_track);

    verticalLayout->setStretch(0, 8);
    verticalLayout->setStretch(1, 0);
    horizontalLayout_5->addLayout(verticalLayout);
}

void Ui_MainWindow::setupLegend()
{
    QList<QWidget *> labels;
    for (int index = 0; index < 16; ++index) {
        const LegendEntry &entry = legend[index];
        const QString colour = QString::fromUtf8(entry.colour);

        QLabel *number = makeNamed<QLabel>(widget_voltage_track, entry.numberName);
        number->setMinimumSize(QSize(20, 20));
        number->setMaximumSize(QSize(20, 20));
        number->setStyleSheet(
            FormStyleSheets::channel_number(colour, QString::fromUtf8(entry.colourName)));
        number->setAlignment(Qt::AlignCenter);
        this->*entry.numberLabel = number;

        QLabel *value = makeNamed<QLabel>(widget_voltage_track, entry.valueName);
        value->setStyleSheet(FormStyleSheets::value_label(colour));
        this->*entry.valueLabel = value;
        labels << number << value;
    }
    // Rows of 8 until the legend is laid out and knows its width.
    legendRows = new LegendRows(widget_voltage_track, gridLayout_3, labels);
    legendRows->arrange(8);
}

void Ui_MainWindow::setupControlColumn()
{
    controlScrollArea = makeNamed<VerticalScrollArea>(widget_2, "controlScrollArea");
    controlColumn = makeNamed<QWidget>(controlScrollArea, "controlColumn");
    verticalLayout_9 = makeOwnLayout<QVBoxLayout>(controlColumn, "verticalLayout_9");
    verticalLayout_9->setSpacing(10);
    verticalLayout_9->setContentsMargins(0, 10, 9, 0);

    horizontalLayout_3 = makeLayout<QHBoxLayout>("horizontalLayout_3");
    horizontalLayout_3->setContentsMargins(0, 0, 0, 0);
    PortComboBox = makeNamed<QComboBox>(controlColumn, "PortComboBox");
    PortComboBox->setFocusPolicy(Qt::NoFocus);
    PortComboBox->setStyleSheet(FormStyleSheets::port_combo());
    horizontalLayout_3->addWidget(PortComboBox);
    connect = makeNamed<QPushButton>(controlColumn, "connect");
    connect->setMinimumSize(QSize(0, 24));
    connect->setStyleSheet(FormStyleSheets::connect_button());
    horizontalLayout_3->addWidget(connect);
    verticalLayout_9->addLayout(horizontalLayout_3);
    // Under the port row, in the scrolling column: it neither widens the column nor adds to
    // the window's minimum height.
    reconnectAutomatically = makeNamed<QCheckBox>(controlColumn, "reconnectAutomatically");
    reconnectAutomatically->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    verticalLayout_9->addWidget(reconnectAutomatically);

    horizontalLayout = makeLayout<QHBoxLayout>("horizontalLayout");
    horizontalLayout->setContentsMargins(styleMargin, 0, 0, 0);
    widget_4 = makeNamed<QWidget>(controlColumn, "widget_4");
    widget_4->setMaximumSize(QSize(16777215, 24));
    horizontalLayout_2 = makeOwnLayout<QHBoxLayout>(widget_4, "horizontalLayout_2");
    horizontalLayout_2->setContentsMargins(0, 0, 0, 0);
    SignalChannel = makeNamed<QRadioButton>(widget_4, "SignalChannel");
    SignalChannel->setChecked(true);
    horizontalLayout_2->addWidget(SignalChannel);
    MultiChannel = makeNamed<QRadioButton>(widget_4, "MultiChannel");
    MultiChannel->setChecked(false);
    horizontalLayout_2->addWidget(MultiChannel);
    horizontalLayout->addWidget(widget_4);
    verticalLayout_9->addLayout(horizontalLayout);

    channel_button_groupbox = makeNamed<QGroupBox>(controlColumn, "channel_button_groupbox");
    channel_button_groupbox->setMinimumSize(QSize(0, 130));
    channel_button_groupbox->setStyleSheet(FormStyleSheets::check_box());
    gridLayout_2 = makeOwnLayout<QGridLayout>(channel_button_groupbox, "gridLayout_2");
    gridLayout_2->setContentsMargins(9, 0, 9, 0);
    verticalLayout_9->addWidget(channel_button_groupbox);

    setupSampleGroup();
    setupExcitationGroup();
    setupActionPanel();

    verticalSpacer = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_9->addItem(verticalSpacer);
    controlScrollArea->set_column(controlColumn);
    horizontalLayout_5->addWidget(controlScrollArea);
}

void Ui_MainWindow::setupSampleGroup()
{
    groupBoxSample = makeNamed<QGroupBox>(controlColumn, "groupBoxSample");
    groupBoxSample->setMinimumSize(QSize(0, 130));
    verticalLayout_4 = makeOwnLayout<QVBoxLayout>(groupBoxSample, "verticalLayout_4");
    verticalLayout_4->setContentsMargins(styleMargin, 0, styleMargin, 0);

    verticalLayout_3 = makeLayout<QVBoxLayout>("verticalLayout_3");
    verticalLayout_3->setContentsMargins(styleMargin, 0, styleMargin, 0);
    widget = makeNamed<QWidget>(groupBoxSample, "widget");
    widget->setMaximumSize(QSize(16777215, 24));
    horizontalLayout_7 = makeOwnLayout<QHBoxLayout>(widget, "horizontalLayout_7");
    horizontalLayout_7->setContentsMargins(0, 0, 0, 0);
    radioButton_slow = makeNamed<QRadioButton>(widget, "radioButton_slow");
    horizontalLayout_7->addWidget(radioButton_slow);
    radioButton_med = makeNamed<QRadioButton>(widget, "radioButton_med");
    radioButton_med->setChecked(true);
    horizontalLayout_7->addWidget(radioButton_med);
    radioButton_fast = makeNamed<QRadioButton>(widget, "radioButton_fast");
    radioButton_fast->setChecked(false);
    horizontalLayout_7->addWidget(radioButton_fast);
    verticalLayout_3->addWidget(widget);
    verticalLayout_4->addLayout(verticalLayout_3);

    gridLayout_4 = makeLayout<QGridLayout>("gridLayout_4");
    label = makeNamed<QLabel>(groupBoxSample, "label");
    gridLayout_4->addWidget(label, 0, 0, 1, 1);
    spinBox_sampleSpeed = makeSpinBox(groupBoxSample, "spinBox_sampleSpeed", 100);
    gridLayout_4->addWidget(spinBox_sampleSpeed, 0, 1, 1, 1);
    label_6 = makeNamed<QLabel>(groupBoxSample, "label_6");
    gridLayout_4->addWidget(label_6, 1, 0, 1, 1);
    spinBox_sampleTime = makeSpinBox(groupBoxSample, "spinBox_sampleTime", 10000);
    spinBox_sampleTime->setSizePolicy(expandingFixedPolicy(spinBox_sampleTime));
    gridLayout_4->addWidget(spinBox_sampleTime, 1, 1, 1, 1);
    gridLayout_4->setColumnStretch(0, 1);
    gridLayout_4->setColumnStretch(1, 1);
    verticalLayout_4->addLayout(gridLayout_4);

    verticalLayout_9->addWidget(groupBoxSample);
}

void Ui_MainWindow::setupExcitationGroup()
{
    groupBoxExcitation = makeNamed<QGroupBox>(controlColumn, "groupBoxExcitation");
    groupBoxExcitation->setStyleSheet(FormStyleSheets::excitation_group());
    verticalLayout_2 = makeOwnLayout<QVBoxLayout>(groupBoxExcitation, "verticalLayout_2");
    verticalLayout_2->setContentsMargins(9, 0, 9, 0);

    widget_single = makeNamed<QWidget>(groupBoxExcitation, "widget_single");
    widget_single->setMinimumSize(QSize(0, 30));
    gridLayout = makeOwnLayout<QGridLayout>(widget_single, "gridLayout");
    gridLayout->setVerticalSpacing(0);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    label_vout = makeNamed<QLabel>(widget_single, "label_vout");
    gridLayout->addWidget(label_vout, 0, 0, 1, 1);
    doubleSpinBox_vout = makeExcitationBox(widget_single, "doubleSpinBox_vout");
    gridLayout->addWidget(doubleSpinBox_vout, 0, 1, 1, 1);
    gridLayout->setColumnStretch(0, 1);
    gridLayout->setColumnStretch(1, 1);
    verticalLayout_2->addWidget(widget_single);

    widget_multi = makeNamed<QWidget>(groupBoxExcitation, "widget_multi");
    widget_multi->setMinimumSize(QSize(0, 110));
    horizontalLayout_9 = makeOwnLayout<QHBoxLayout>(widget_multi, "horizontalLayout_9");
    horizontalLayout_9->setContentsMargins(0, 6, 0, 6);

    widget_9 = makeNamed<QWidget>(widget_multi, "widget_9");
    verticalLayout_7 = makeOwnLayout<QVBoxLayout>(widget_9, "verticalLayout_7");
    verticalLayout_7->setContentsMargins(0, 0, 0, 0);
    label_vout0 = makeNamed<QLabel>(widget_9, "label_vout0");
    verticalLayout_7->addWidget(label_vout0);
    label_vout1 = makeNamed<QLabel>(widget_9, "label_vout1");
    verticalLayout_7->addWidget(label_vout1);
    label_vout2 = makeNamed<QLabel>(widget_9, "label_vout2");
    verticalLayout_7->addWidget(label_vout2);
    label_vout3 = makeNamed<QLabel>(widget_9, "label_vout3");
    verticalLayout_7->addWidget(label_vout3);
    horizontalLayout_9->addWidget(widget_9);

    widget_10 = makeNamed<QWidget>(widget_multi, "widget_10");
    verticalLayout_8 = makeOwnLayout<QVBoxLayout>(widget_10, "verticalLayout_8");
    verticalLayout_8->setContentsMargins(0, 0, 0, 0);
    doubleSpinBox_vout1 = makeExcitationBox(widget_10, "doubleSpinBox_vout1");
    verticalLayout_8->addWidget(doubleSpinBox_vout1);
    doubleSpinBox_vout2 = makeExcitationBox(widget_10, "doubleSpinBox_vout2");
    verticalLayout_8->addWidget(doubleSpinBox_vout2);
    doubleSpinBox_vout3 = makeExcitationBox(widget_10, "doubleSpinBox_vout3");
    verticalLayout_8->addWidget(doubleSpinBox_vout3);
    doubleSpinBox_vout4 = makeExcitationBox(widget_10, "doubleSpinBox_vout4");
    verticalLayout_8->addWidget(doubleSpinBox_vout4);
    horizontalLayout_9->addWidget(widget_10);

    horizontalLayout_9->setStretch(0, 1);
    horizontalLayout_9->setStretch(1, 1);
    verticalLayout_2->addWidget(widget_multi);

    verticalLayout_9->addWidget(groupBoxExcitation);
}

void Ui_MainWindow::setupActionPanel()
{
    widget_3 = makeNamed<QWidget>(controlColumn, "widget_3");
    widget_3->setStyleSheet(FormStyleSheets::action_panel());
    verticalLayout_6 = makeOwnLayout<QVBoxLayout>(widget_3, "verticalLayout_6");
    verticalLayout_6->setSpacing(10);
    verticalLayout_6->setContentsMargins(0, 0, 0, 0);

    horizontalLayout_6 = makeLayout<QHBoxLayout>("horizontalLayout_6");
    toolWidget = makeNamed<QWidget>(widget_3, "toolWidget");
    horizontalLayout_4 = makeOwnLayout<QHBoxLayout>(toolWidget, "horizontalLayout_4");
    helperYLineCheckBox = makeNamed<QCheckBox>(toolWidget, "helperYLineCheckBox");
    helperYLineCheckBox->setStyleSheet(FormStyleSheets::check_box());
    helperYLineCheckBox->setChecked(true);
    horizontalLayout_4->addWidget(helperYLineCheckBox);
    lineEdit = makeNamed<QLineEdit>(toolWidget, "lineEdit");
    lineEdit->setStyleSheet(FormStyleSheets::line_edit());
    horizontalLayout_4->addWidget(lineEdit);
    label_7 = makeNamed<QLabel>(toolWidget, "label_7");
    label_7->setAlignment(Qt::AlignCenter);
    horizontalLayout_4->addWidget(label_7);
    lineEdit_error_range = makeNamed<QLineEdit>(toolWidget, "lineEdit_error_range");
    lineEdit_error_range->setStyleSheet(FormStyleSheets::line_edit());
    horizontalLayout_4->addWidget(lineEdit_error_range);
    horizontalLayout_6->addWidget(toolWidget);
    verticalLayout_6->addLayout(horizontalLayout_6);

    // The buttons have no sheet of their own: they take the panel's.
    SampleStart = makeActionButton(widget_3, "SampleStart");
    SampleStart->setFont(boldArial());
    verticalLayout_6->addWidget(SampleStart);
    SamplePause = makeActionButton(widget_3, "SamplePause");
    verticalLayout_6->addWidget(SamplePause);
    SampleStop = makeActionButton(widget_3, "SampleStop");
    QFont stopFont = boldArial();
    stopFont.setUnderline(false);
    SampleStop->setFont(stopFont);
    verticalLayout_6->addWidget(SampleStop);
    ExportFile = makeActionButton(widget_3, "ExportFile");
    verticalLayout_6->addWidget(ExportFile);

    verticalLayout_9->addWidget(widget_3);
}

void Ui_MainWindow::retranslateUi(QMainWindow *MainWindow)
{
    MainWindow->setWindowTitle(tr("MainWindow"));
    for (int index = 0; index < 16; ++index) {
        (this->*legend[index].numberLabel)->setText(QString::number(index + 1));
        (this->*legend[index].valueLabel)->setText(QString());
    }
    connect->setText(tr("Connect"));
    reconnectAutomatically->setText(tr("Reconnect automatically"));
    SignalChannel->setText(tr("Single Channel"));
    MultiChannel->setText(tr("Multi Channel"));
    channel_button_groupbox->setTitle(tr("Channel"));
    groupBoxSample->setTitle(tr("Sample"));
    radioButton_slow->setText(tr("Accurate"));
    radioButton_med->setText(tr("Normal"));
    radioButton_fast->setText(tr("Fast"));
    label->setText(tr("Sampling Rate (1~100 p/s)"));
    label_6->setText(tr("Collection Time (1~10000 s)"));
    groupBoxExcitation->setTitle(tr("Excitation"));
    label_vout->setText(tr("Vout (-10~10 V)"));
    label_vout0->setText(tr("V1 (-10~10 V)"));
    label_vout1->setText(tr("V2 (-10~10 V)"));
    label_vout2->setText(tr("V3 (-10~10 V)"));
    label_vout3->setText(tr("V4 (-10~10 V)"));
    helperYLineCheckBox->setText(tr("Y辅助线"));
    lineEdit->setText(QString());
    label_7->setText(tr("误差："));
    lineEdit_error_range->setText(tr("1.0"));
    SampleStart->setText(tr("Start "));
    SamplePause->setText(tr("Pause"));
    SampleStop->setText(tr("Stop "));
    ExportFile->setText(tr("Save"));
}
