#include "formsetup.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QMainWindow>
#include <QMetaMethod>
#include <QSet>
#include <QTest>

#include "scopedworkdir.h"

#include <memory>

namespace {

// A style sheet as the resource holds it.
QString sheetFile(const char *name)
{
    QFile file(QStringLiteral(":/form/sheets/%1.qss").arg(QString::fromUtf8(name)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A bare window with the form on it; the form alone carries no behaviour.
struct FormFixture
{
    QMainWindow window;
    Ui::MainWindow ui;
    FormFixture()
    {
        ui.setupUi(&window);
        complete_form(ui, &window);
    }
};

// Object name and class of every widget and layout of the form, legend included.
QList<QPair<QString, QString>> formTree()
{
    const QList<QPair<const char *, const char *>> fixed = {
        {"centralwidget", "QWidget"},
        {"verticalLayout_5", "QVBoxLayout"},
        {"widget_2", "QWidget"},
        {"horizontalLayout_5", "QHBoxLayout"},
        {"verticalLayout", "QVBoxLayout"},
        {"voltageLayout", "QHBoxLayout"},
        {"widget_voltage_track", "QWidget"},
        {"gridLayout_3", "QGridLayout"},
        {"controlScrollArea", "VerticalScrollArea"},
        {"controlColumn", "QWidget"},
        {"verticalLayout_9", "QVBoxLayout"},
        {"horizontalLayout_3", "QHBoxLayout"},
        {"PortComboBox", "QComboBox"},
        {"connect", "QPushButton"},
        {"reconnectAutomatically", "QCheckBox"},
        {"horizontalLayout", "QHBoxLayout"},
        {"widget_4", "QWidget"},
        {"horizontalLayout_2", "QHBoxLayout"},
        {"SignalChannel", "QRadioButton"},
        {"MultiChannel", "QRadioButton"},
        {"channel_button_groupbox", "QGroupBox"},
        {"gridLayout_2", "QGridLayout"},
        {"groupBoxSample", "QGroupBox"},
        {"verticalLayout_4", "QVBoxLayout"},
        {"verticalLayout_3", "QVBoxLayout"},
        {"widget", "QWidget"},
        {"horizontalLayout_7", "QHBoxLayout"},
        {"radioButton_slow", "QRadioButton"},
        {"radioButton_med", "QRadioButton"},
        {"radioButton_fast", "QRadioButton"},
        {"gridLayout_4", "QGridLayout"},
        {"label", "QLabel"},
        {"spinBox_sampleSpeed", "QSpinBox"},
        {"label_6", "QLabel"},
        {"spinBox_sampleTime", "QSpinBox"},
        {"groupBoxExcitation", "QGroupBox"},
        {"verticalLayout_2", "QVBoxLayout"},
        {"widget_single", "QWidget"},
        {"gridLayout", "QGridLayout"},
        {"label_vout", "QLabel"},
        {"doubleSpinBox_vout", "QDoubleSpinBox"},
        {"widget_multi", "QWidget"},
        {"horizontalLayout_9", "QHBoxLayout"},
        {"widget_9", "QWidget"},
        {"verticalLayout_7", "QVBoxLayout"},
        {"label_vout0", "QLabel"},
        {"label_vout1", "QLabel"},
        {"label_vout2", "QLabel"},
        {"label_vout3", "QLabel"},
        {"widget_10", "QWidget"},
        {"verticalLayout_8", "QVBoxLayout"},
        {"doubleSpinBox_vout1", "QDoubleSpinBox"},
        {"doubleSpinBox_vout2", "QDoubleSpinBox"},
        {"doubleSpinBox_vout3", "QDoubleSpinBox"},
        {"doubleSpinBox_vout4", "QDoubleSpinBox"},
        {"widget_3", "QWidget"},
        {"verticalLayout_6", "QVBoxLayout"},
        {"horizontalLayout_6", "QHBoxLayout"},
        {"toolWidget", "QWidget"},
        {"horizontalLayout_4", "QHBoxLayout"},
        {"helperYLineCheckBox", "QCheckBox"},
        {"lineEdit", "QLineEdit"},
        {"label_7", "QLabel"},
        {"lineEdit_error_range", "QLineEdit"},
        {"SampleStart", "QPushButton"},
        {"SamplePause", "QPushButton"},
        {"SampleStop", "QPushButton"},
        {"ExportFile", "QPushButton"},
    };
    QList<QPair<QString, QString>> tree;
    for (const auto &[name, className] : fixed)
        tree.append({QString::fromUtf8(name), QString::fromUtf8(className)});
    for (int channel = 1; channel <= 16; ++channel) {
        tree.append({QStringLiteral("label_%1").arg(channel + 9), QStringLiteral("QLabel")});
        tree.append({QStringLiteral("voltage_label_%1").arg(channel), QStringLiteral("QLabel")});
    }
    return tree;
}

QObject *uniqueChild(QObject *root, const QString &name)
{
    const QList<QObject *> found = root->findChildren<QObject *>(name);
    return found.size() == 1 ? found.first() : nullptr;
}

} // namespace

class MainWindowFormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyNamedObjectExistsOnceWithItsClass_data();
    void everyNamedObjectExistsOnceWithItsClass();
    void noObjectOutsideTheTreeCarriesAName();
    void widgetsStartWithTheirTextsAndValues_data();
    void widgetsStartWithTheirTextsAndValues();
    void legendPlacesEachChannelInItsCellAndColour_data();
    void legendPlacesEachChannelInItsCellAndColour();
    void legendNumberSheetsNameTheColourExceptForChannelOne();
    void styleSheetsAreSetCharacterForCharacter();
    void actionButtonsTakeThePanelSheetAndBoldArial();
    void excitationBoxesAcceptTenVoltsWithThreeDecimals_data();
    void excitationBoxesAcceptTenVoltsWithThreeDecimals();
    void rateAndTimeBoxesAreCentredWithoutButtons();
    void radioButtonsAreExclusiveOnlyWithinTheirSet();
    void layoutsHaveTheirMarginsAndSpacing_data();
    void layoutsHaveTheirMarginsAndSpacing();
    void plotAndChannelLayoutsStartEmpty();
    void windowSizeStretchAndMinimumHeight();
    void windowKeepsANameItAlreadyHas();
    void windowSlotsAreAttachedByName_data();
    void windowSlotsAreAttachedByName();
    void windowSlotsAreDeclaredInTheirFixedOrder();

private:
    // The window writes its settings and logs into the working directory.
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void MainWindowFormTest::initTestCase()
{
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void MainWindowFormTest::everyNamedObjectExistsOnceWithItsClass_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const QList<QPair<QString, QString>> tree = formTree();
    for (const auto &[name, className] : tree)
        QTest::newRow(qPrintable(name)) << name << className;
}

void MainWindowFormTest::everyNamedObjectExistsOnceWithItsClass()
{
    QFETCH(QString, name);
    QFETCH(QString, className);

    FormFixture form;
    const QList<QObject *> found = form.window.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromUtf8(found.first()->metaObject()->className()), className);
}

void MainWindowFormTest::noObjectOutsideTheTreeCarriesAName()
{
    FormFixture form;
    QCOMPARE(form.window.objectName(), QStringLiteral("MainWindow"));

    QSet<QString> expected;
    const QList<QPair<QString, QString>> tree = formTree();
    for (const auto &entry : tree)
        expected.insert(entry.first);
    // Qt names its own helper objects qt_*, and the main window's layout _layout.
    QStringList unexpected;
    const QList<QObject *> all = form.window.findChildren<QObject *>();
    for (const QObject *object : all) {
        const QString name = object->objectName();
        const bool qtOwn =
            name.startsWith(QLatin1String("qt_")) || name == QLatin1String("_layout");
        if (!name.isEmpty() && !qtOwn && !expected.contains(name))
            unexpected.append(name);
    }
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1String(", "))));
}

void MainWindowFormTest::widgetsStartWithTheirTextsAndValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *name, const char *property, const QVariant &expected) {
        QTest::addRow("%s.%s", name, property)
            << QString::fromUtf8(name) << QByteArray(property) << expected;
    };
    row("connect", "text", QStringLiteral("Connect"));
    row("reconnectAutomatically", "text", QStringLiteral("Reconnect automatically"));
    row("SignalChannel", "text", QStringLiteral("Single Channel"));
    row("SignalChannel", "checked", true);
    row("MultiChannel", "text", QStringLiteral("Multi Channel"));
    row("MultiChannel", "checked", false);
    row("channel_button_groupbox", "title", QStringLiteral("Channel"));
    row("groupBoxSample", "title", QStringLiteral("Sample"));
    row("radioButton_slow", "text", QStringLiteral("Accurate"));
    row("radioButton_slow", "checked", false);
    row("radioButton_med", "text", QStringLiteral("Normal"));
    row("radioButton_med", "checked", true);
    row("radioButton_fast", "text", QStringLiteral("Fast"));
    row("radioButton_fast", "checked", false);
    row("label", "text", QStringLiteral("Sampling Rate (1~100 p/s)"));
    row("spinBox_sampleSpeed", "minimum", 1);
    row("spinBox_sampleSpeed", "maximum", 100);
    row("spinBox_sampleSpeed", "value", 100);
    row("label_6", "text", QStringLiteral("Collection Time (1~10000 s)"));
    row("spinBox_sampleTime", "minimum", 1);
    row("spinBox_sampleTime", "maximum", 10000);
    row("spinBox_sampleTime", "value", 100);
    row("groupBoxExcitation", "title", QStringLiteral("Excitation"));
    row("label_vout", "text", QStringLiteral("Vout (-10~10 V)"));
    row("label_vout0", "text", QStringLiteral("V1 (-10~10 V)"));
    row("label_vout1", "text", QStringLiteral("V2 (-10~10 V)"));
    row("label_vout2", "text", QStringLiteral("V3 (-10~10 V)"));
    row("label_vout3", "text", QStringLiteral("V4 (-10~10 V)"));
    row("helperYLineCheckBox", "text", QStringLiteral("Y辅助线"));
    row("helperYLineCheckBox", "checked", true);
    row("lineEdit", "text", QString());
    row("label_7", "text", QStringLiteral("误差："));
    row("lineEdit_error_range", "text", QStringLiteral("1.0"));
    row("SampleStart", "text", QStringLiteral("Start "));
    row("SamplePause", "text", QStringLiteral("Pause"));
    row("SampleStop", "text", QStringLiteral("Stop "));
    row("ExportFile", "text", QStringLiteral("Save"));
    row("PortComboBox", "focusPolicy", QVariant::fromValue(Qt::NoFocus));
    row("PortComboBox", "count", 0);
    row("connect", "minimumSize", QSize(0, 24));
    row("widget_4", "maximumSize", QSize(16777215, 24));
    row("widget", "maximumSize", QSize(16777215, 24));
    row("channel_button_groupbox", "minimumSize", QSize(0, 130));
    row("groupBoxSample", "minimumSize", QSize(0, 130));
    row("widget_single", "minimumSize", QSize(0, 30));
    row("widget_multi", "minimumSize", QSize(0, 110));
    row("SampleStart", "minimumSize", QSize(75, 40));
    row("SamplePause", "minimumSize", QSize(75, 40));
    row("SampleStop", "minimumSize", QSize(75, 40));
    row("ExportFile", "minimumSize", QSize(75, 40));
    row("label_7", "alignment", QVariant::fromValue(Qt::Alignment(Qt::AlignCenter)));
}

void MainWindowFormTest::widgetsStartWithTheirTextsAndValues()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    FormFixture form;
    QObject *object = uniqueChild(&form.window, name);
    QVERIFY(object != nullptr);
    QVariant actual = object->property(property.constData());
    QVERIFY2(actual.isValid(), property.constData());
    // Enumerations come back as their own type; compare them by value.
    if (expected.metaType() != actual.metaType() && actual.canConvert<int>() &&
        expected.canConvert<int>())
        QCOMPARE(actual.toInt(), expected.toInt());
    else
        QCOMPARE(actual, expected);
}

void MainWindowFormTest::legendPlacesEachChannelInItsCellAndColour_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("colour");

    const char *const colours[16] = {
        "rgb(255,0,0)",   "rgb(0,255,0)",    "rgb(0,0,255)",    "rgb(255,102,0)",
        "rgb(255,0,255)", "rgb(0,255,255)",  "rgb(128,0,0)",    "rgb(0,128,0)",
        "rgb(0,0,128)",   "rgb(128,128,0)",  "rgb(128,0,128)",  "rgb(0,128,128)",
        "rgb(165,42,42)", "rgb(210,105,30)", "rgb(95,158,160)", "rgb(211,105,211)"};
    for (int channel = 1; channel <= 16; ++channel)
        QTest::addRow("channel %d", channel) << channel << QString::fromUtf8(colours[channel - 1]);
}

void MainWindowFormTest::legendPlacesEachChannelInItsCellAndColour()
{
    QFETCH(int, channel);
    QFETCH(QString, colour);

    FormFixture form;
    const int row = channel <= 8 ? 0 : 1;
    const int column = 2 * ((channel - 1) % 8);
    QLayoutItem *numberItem = form.ui.gridLayout_3->itemAtPosition(row, column);
    QLayoutItem *valueItem = form.ui.gridLayout_3->itemAtPosition(row, column + 1);
    QVERIFY(numberItem != nullptr && valueItem != nullptr);

    auto *number = qobject_cast<QLabel *>(numberItem->widget());
    auto *value = qobject_cast<QLabel *>(valueItem->widget());
    QVERIFY(number != nullptr && value != nullptr);
    QCOMPARE(number->objectName(), QStringLiteral("label_%1").arg(channel + 9));
    QCOMPARE(value->objectName(), QStringLiteral("voltage_label_%1").arg(channel));
    QCOMPARE(number->parentWidget(), form.ui.widget_voltage_track);
    QCOMPARE(value->parentWidget(), form.ui.widget_voltage_track);

    QCOMPARE(number->text(), QString::number(channel));
    QCOMPARE(number->minimumSize(), QSize(20, 20));
    QCOMPARE(number->maximumSize(), QSize(20, 20));
    QCOMPARE(number->alignment(), Qt::AlignCenter);
    QVERIFY(number->styleSheet().contains(QStringLiteral("border: 1px solid %1;").arg(colour)));

    QCOMPARE(value->text(), QString());
    QCOMPARE(value->styleSheet(), QStringLiteral("color:%1;").arg(colour));
    QCOMPARE(value->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

void MainWindowFormTest::legendNumberSheetsNameTheColourExceptForChannelOne()
{
    FormFixture form;
    QCOMPARE(form.ui.label_10->styleSheet(), QStringLiteral("QLabel {\n"
                                                            "    border: 1px solid rgb(255,0,0);\n"
                                                            "    color: black;\n"
                                                            "    border-radius: 2px;\n"
                                                            "}"));
    QCOMPARE(form.ui.label_12->styleSheet(),
             QStringLiteral("QLabel {\n"
                            "    border: 1px solid rgb(0,0,255);     /* Blue */\n"
                            "    color: black;\n"
                            "    border-radius: 2px;\n"
                            "}"));
    QCOMPARE(form.ui.label_24->styleSheet(),
             QStringLiteral("QLabel {\n"
                            "    border: 1px solid rgb(95,158,160);     /* Cadet Blue */\n"
                            "    color: black;\n"
                            "    border-radius: 2px;\n"
                            "}"));
}

void MainWindowFormTest::styleSheetsAreSetCharacterForCharacter()
{
    const QString actionPanelSheet = sheetFile("connect_button") + sheetFile("button_disabled");
    QVERIFY(actionPanelSheet.endsWith(
        QStringLiteral("font-weight: bold; /* 禁用状态时加粗字体 */\n}\n")));

    FormFixture form;
    QCOMPARE(form.window.styleSheet(), sheetFile("window"));
    QVERIFY(form.window.styleSheet().endsWith(QLatin1String("font-weight: bold; ")));
    QCOMPARE(form.ui.centralwidget->styleSheet(), sheetFile("central"));
    QVERIFY(form.ui.centralwidget->styleSheet().startsWith(
        QLatin1String("QWidget#centralwidget{\nbackground-color:white;\n}\n")));
    QVERIFY(form.ui.centralwidget->styleSheet().endsWith(
        QLatin1String("QRadioButton:disabled {\n    background-color: #d3d3d3;\n}")));
    QCOMPARE(form.ui.widget_3->styleSheet(), actionPanelSheet);
    QCOMPARE(form.ui.groupBoxExcitation->styleSheet(),
             QStringLiteral("QDoubleSpinBox:disabled {\n    background-color: grey;\n}\n"));

    // The connect button has the panel's look without the disabled state.
    const QString connectSheet = form.ui.connect->styleSheet();
    QVERIFY(!connectSheet.contains(QLatin1String(":disabled")));
    QVERIFY(actionPanelSheet.startsWith(connectSheet));
    QVERIFY(connectSheet.startsWith(QLatin1String("QPushButton {\n")));

    QCOMPARE(form.ui.helperYLineCheckBox->styleSheet(),
             form.ui.channel_button_groupbox->styleSheet());
    QVERIFY(form.ui.helperYLineCheckBox->styleSheet().contains(
        QLatin1String("image: url(:/image/image_resource/checkbox-checked.png)\n")));
    QCOMPARE(form.ui.lineEdit->styleSheet(), form.ui.lineEdit_error_range->styleSheet());
    QVERIFY(form.ui.lineEdit->styleSheet().startsWith(QLatin1String("QLineEdit {\n")));
    QVERIFY(form.ui.PortComboBox->styleSheet().contains(
        QStringLiteral("subcontrol-position: right center; /* 将箭头放置在右侧中心位置 */\n  "
                       "\tmargin-right: 3px;")));
}

void MainWindowFormTest::actionButtonsTakeThePanelSheetAndBoldArial()
{
    FormFixture form;
    for (QPushButton *button :
         {form.ui.SampleStart, form.ui.SamplePause, form.ui.SampleStop, form.ui.ExportFile}) {
        QCOMPARE(button->parentWidget(), form.ui.widget_3);
        QVERIFY(button->styleSheet().isEmpty());
    }
    QCOMPARE(form.ui.SampleStart->font().families(), QStringList{QStringLiteral("Arial")});
    QVERIFY(form.ui.SampleStart->font().bold());
    QCOMPARE(form.ui.SampleStop->font().families(), QStringList{QStringLiteral("Arial")});
    QVERIFY(form.ui.SampleStop->font().bold());
    QVERIFY(!form.ui.SampleStop->font().underline());
}

void MainWindowFormTest::excitationBoxesAcceptTenVoltsWithThreeDecimals_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"doubleSpinBox_vout", "doubleSpinBox_vout1", "doubleSpinBox_vout2",
                             "doubleSpinBox_vout3", "doubleSpinBox_vout4"})
        QTest::newRow(name) << QString::fromUtf8(name);
}

void MainWindowFormTest::excitationBoxesAcceptTenVoltsWithThreeDecimals()
{
    QFETCH(QString, name);

    FormFixture form;
    auto *box = form.window.findChild<QDoubleSpinBox *>(name);
    QVERIFY(box != nullptr);
    QCOMPARE(box->value(), 0.0);
    QCOMPARE(box->text(), QStringLiteral("0.000"));
    QCOMPARE(box->alignment(), Qt::AlignCenter);
    QCOMPARE(box->buttonSymbols(), QAbstractSpinBox::NoButtons);
    QCOMPARE(box->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(box->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(box->styleSheet().startsWith(QLatin1String("QDoubleSpinBox {\n")));
    QVERIFY(!box->styleSheet().contains(QLatin1String("QSpinBox")));

    box->setValue(1.23456);
    QCOMPARE(box->text(), QStringLiteral("1.235"));
    box->setValue(10.5);
    QCOMPARE(box->value(), 10.0);
    box->setValue(-12.0);
    QCOMPARE(box->value(), -10.0);
}

void MainWindowFormTest::rateAndTimeBoxesAreCentredWithoutButtons()
{
    FormFixture form;
    for (QSpinBox *box : {form.ui.spinBox_sampleSpeed, form.ui.spinBox_sampleTime}) {
        QCOMPARE(box->alignment(), Qt::AlignCenter);
        QCOMPARE(box->buttonSymbols(), QAbstractSpinBox::NoButtons);
        QVERIFY(box->styleSheet().startsWith(QLatin1String("QSpinBox {\n")));
        QVERIFY(box->styleSheet().endsWith(
            QLatin1String("QSpinBox:disabled {\n    background-color: #d3d3d3;\n}")));
    }
    QCOMPARE(form.ui.spinBox_sampleTime->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(form.ui.spinBox_sampleTime->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(form.ui.gridLayout_4->columnStretch(0), 1);
    QCOMPARE(form.ui.gridLayout_4->columnStretch(1), 1);
}

void MainWindowFormTest::radioButtonsAreExclusiveOnlyWithinTheirSet()
{
    FormFixture form;
    form.ui.MultiChannel->click();
    QVERIFY(form.ui.MultiChannel->isChecked());
    QVERIFY(!form.ui.SignalChannel->isChecked());
    QVERIFY(form.ui.radioButton_med->isChecked());

    form.ui.radioButton_fast->click();
    QVERIFY(form.ui.radioButton_fast->isChecked());
    QVERIFY(!form.ui.radioButton_med->isChecked());
    QVERIFY(!form.ui.radioButton_slow->isChecked());
    QVERIFY(form.ui.MultiChannel->isChecked());
}

void MainWindowFormTest::layoutsHaveTheirMarginsAndSpacing_data()
{
    // -1 marks a side left to the style's default, not compared here.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<int>("spacing");

    QTest::newRow("verticalLayout_5") << "verticalLayout_5" << QMargins(2, 2, 2, 2) << 2;
    QTest::newRow("horizontalLayout_5") << "horizontalLayout_5" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("verticalLayout") << "verticalLayout" << QMargins(-1, 0, -1, -1) << 0;
    QTest::newRow("gridLayout_3") << "gridLayout_3" << QMargins(50, -1, -1, -1) << -1;
    QTest::newRow("verticalLayout_9") << "verticalLayout_9" << QMargins(0, 10, 9, 0) << 10;
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("horizontalLayout") << "horizontalLayout" << QMargins(-1, 0, 0, 0) << -1;
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("gridLayout_2") << "gridLayout_2" << QMargins(9, 0, 9, 0) << -1;
    QTest::newRow("verticalLayout_4") << "verticalLayout_4" << QMargins(-1, 0, -1, 0) << -1;
    QTest::newRow("verticalLayout_3") << "verticalLayout_3" << QMargins(-1, 0, -1, 0) << -1;
    QTest::newRow("horizontalLayout_7") << "horizontalLayout_7" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("verticalLayout_2") << "verticalLayout_2" << QMargins(9, 0, 9, 0) << -1;
    QTest::newRow("gridLayout") << "gridLayout" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("horizontalLayout_9") << "horizontalLayout_9" << QMargins(0, 6, 0, 6) << -1;
    QTest::newRow("verticalLayout_7") << "verticalLayout_7" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("verticalLayout_8") << "verticalLayout_8" << QMargins(0, 0, 0, 0) << -1;
    QTest::newRow("verticalLayout_6") << "verticalLayout_6" << QMargins(0, 0, 0, 0) << 10;
}

void MainWindowFormTest::layoutsHaveTheirMarginsAndSpacing()
{
    QFETCH(QString, name);
    QFETCH(QMargins, margins);
    QFETCH(int, spacing);

    FormFixture form;
    auto *layout = form.window.findChild<QLayout *>(name);
    QVERIFY(layout != nullptr);
    const QMargins actual = layout->contentsMargins();
    if (margins.left() >= 0)
        QCOMPARE(actual.left(), margins.left());
    if (margins.top() >= 0)
        QCOMPARE(actual.top(), margins.top());
    if (margins.right() >= 0)
        QCOMPARE(actual.right(), margins.right());
    if (margins.bottom() >= 0)
        QCOMPARE(actual.bottom(), margins.bottom());
    if (spacing >= 0)
        QCOMPARE(layout->spacing(), spacing);
}

void MainWindowFormTest::plotAndChannelLayoutsStartEmpty()
{
    FormFixture form;
    QCOMPARE(form.ui.voltageLayout->count(), 0);
    QCOMPARE(form.ui.gridLayout_2->count(), 0);
    QCOMPARE(form.ui.gridLayout_3->count(), 32);

    // The spacer closes the control column.
    QLayout *column = form.ui.verticalLayout_9;
    QCOMPARE(column->itemAt(column->count() - 1)->spacerItem(), form.ui.verticalSpacer);
    QCOMPARE(form.ui.verticalSpacer->sizeHint(), QSize(20, 40));
    QCOMPARE(form.ui.verticalSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void MainWindowFormTest::windowSizeStretchAndMinimumHeight()
{
    FormFixture form;
    QCOMPARE(form.window.size(), QSize(1092, 814));
    QCOMPARE(form.window.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(form.window.centralWidget(), form.ui.centralwidget);
    QCOMPARE(form.ui.centralwidget->minimumHeight(), 450);
    QCOMPARE(form.ui.horizontalLayout_5->stretch(0), 7);
    QCOMPARE(form.ui.horizontalLayout_5->stretch(1), 3);
    QCOMPARE(form.ui.horizontalLayout_5->itemAt(0)->layout(), form.ui.verticalLayout);
    QCOMPARE(form.ui.horizontalLayout_5->itemAt(1)->widget(), form.ui.controlScrollArea);
    QCOMPARE(form.ui.controlScrollArea->widget(), form.ui.controlColumn);
    QCOMPARE(form.ui.controlColumn->layout(), form.ui.verticalLayout_9);
    QCOMPARE(form.ui.verticalLayout->stretch(0), 8);
    QCOMPARE(form.ui.verticalLayout->stretch(1), 0);
    QCOMPARE(form.ui.horizontalLayout_9->stretch(0), 1);
    QCOMPARE(form.ui.horizontalLayout_9->stretch(1), 1);
}

void MainWindowFormTest::windowKeepsANameItAlreadyHas()
{
    QMainWindow window;
    window.setObjectName(QStringLiteral("Preset"));
    Ui::MainWindow ui;
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("Preset"));
}

void MainWindowFormTest::windowSlotsAreAttachedByName_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QByteArray>("slot");
    for (const char *name :
         {"connect", "SignalChannel", "MultiChannel", "radioButton_slow", "radioButton_med",
          "radioButton_fast", "SampleStart", "SamplePause", "SampleStop", "ExportFile"})
        QTest::newRow(name) << QString::fromUtf8(name)
                            << QByteArray("1on_") + name + QByteArray("_clicked()");
}

void MainWindowFormTest::windowSlotsAreAttachedByName()
{
    QFETCH(QString, widget);
    QFETCH(QByteArray, slot);

    MainWindow window;
    auto *button = window.findChild<QAbstractButton *>(widget);
    QVERIFY(button != nullptr);
    // Disconnecting succeeds only when the by-name connection was made.
    QVERIFY(QObject::disconnect(button, nullptr, &window, slot.constData()));
}

void MainWindowFormTest::windowSlotsAreDeclaredInTheirFixedOrder()
{
    const QStringList expected = {"on_MultiChannel_clicked()",     "on_checkboxToggled(bool)",
                                  "on_SignalChannel_clicked()",    "on_selectallToggled(bool)",
                                  "on_radioButton_med_clicked()",  "on_radioButton_fast_clicked()",
                                  "on_radioButton_slow_clicked()", "on_SampleStart_clicked()",
                                  "on_SamplePause_clicked()",      "on_SampleStop_clicked()",
                                  "on_connect_clicked()",          "stop(bool)",
                                  "on_ExportFile_clicked()",       "handle_port_error()",
                                  "check_lower_computer_status()"};

    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList declared;
    for (int index = meta.methodOffset(); index < meta.methodCount(); ++index) {
        const QMetaMethod method = meta.method(index);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        declared.append(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(declared, expected);

    MainWindow window;
    QVERIFY(window.qt_metacast("MainWindow") != nullptr);
    QVERIFY(window.qt_metacast("QAbstractNativeEventFilter") != nullptr);
}

QTEST_MAIN(MainWindowFormTest)
#include "tst_mainwindowform.moc"
