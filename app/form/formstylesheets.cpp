#include "formstylesheets.h"

namespace FormStyleSheets {

namespace {

// The action panel repeats the connect button look and adds a disabled state.
const char *const connect_button_sheet = "QPushButton {\n"
                                         "    border: 1px solid transparent;\n"
                                         "    border-radius: 5px;\n"
                                         "    background-color: #CC896827;\n"
                                         "    color: #ffffff;\n"
                                         "    outline: 0; /* 确保没有轮廓 */\n"
                                         "    font-size: 13px;\n"
                                         "    font-weight: bold; /* 设置字体加粗 */\n"
                                         "}\n"
                                         "\n"
                                         "QPushButton:hover {\n"
                                         "    background-color: #896827;\n"
                                         "    color: #ffffff;\n"
                                         "    border: none; /* 去除悬停按钮的边框 */\n"
                                         "    outline: 0; /* 去除悬停按钮的轮廓 */\n"
                                         "    font-size: 13px;\n"
                                         "    font-weight: bold; /* 悬停时加粗字体 */\n"
                                         "}\n"
                                         "\n"
                                         "QPushButton:pressed {\n"
                                         "    margin: 1px;\n"
                                         "    background-color: #CC896827;\n"
                                         "    color: #ffffff;\n"
                                         "    border: none; /* 去除按下按钮的边框 */\n"
                                         "    outline: 0; /* 去除按下按钮的轮廓 */\n"
                                         "    font-size: 13px;\n"
                                         "    font-weight: bold; /* 按下时加粗字体 */\n"
                                         "}\n";

const char *const disabled_button_sheet =
    "\n"
    "QPushButton:disabled {\n"
    "    background-color: #d3d3d3; /* 设置背景为灰色 */\n"
    "    color: #333333; /* 设置文本颜色为深灰色 */\n"
    "    border: 1px solid transparent; /* 设置边框为灰色 */\n"
    "    font-size: 13px;\n"
    "    font-weight: bold; /* 禁用状态时加粗字体 */\n"
    "}\n";

} // namespace

QString window()
{
    return QStringLiteral("color:black;\n"
                          "font-family: 'Arial';\n"
                          "font-weight: bold; ");
}

QString central()
{
    return QStringLiteral("QWidget#centralwidget{\n"
                          "background-color:white;\n"
                          "}\n"
                          "QRadioButton {\n"
                          "    color: black;\n"
                          "    border: 1px solid #DDDDDD;\n"
                          "    border-radius: 5px;\n"
                          "    font: 9pt;\n"
                          "    padding:3px;\n"
                          "    padding-left:10px;\n"
                          "    padding-right:10px;\n"
                          "    background:white;\n"
                          "\ttext-align: right;\n"
                          "font-weight: bold; \n"
                          "}\n"
                          "QRadioButton:hover {\n"
                          "    color: black;\n"
                          "    border: 1px solid #CCCCCC;\n"
                          "    border-radius: 5px;\n"
                          "    font: 9pt;\n"
                          "    padding:3px;\n"
                          "    padding-left:10px;\n"
                          "    padding-right:10px;\n"
                          "    background:white;\n"
                          "}\n"
                          "QRadioButton:checked {\n"
                          "    color: black;\n"
                          "    border: 1px solid #8c6927;\n"
                          "    border-radius: 5px;\n"
                          "    font: 9pt;\n"
                          "    padding:3px;\n"
                          "    padding-left:10px;\n"
                          "    padding-right:10px;\n"
                          "    background:white;\n"
                          "}\n"
                          "QRadioButton::indicator {\n"
                          "    width: 10px;\n"
                          "    height: 10px;\n"
                          "    border-radius: 7px;\n"
                          "}\n"
                          "\n"
                          "QRadioButton::indicator:checked {\n"
                          "    width: 12px;\n"
                          "    height: 12px;\n"
                          "    background-color: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
                          "radius:0.5, fx:0.5, fy:0.5, stop:0 #8c6927, stop:0.6 #8c6927, stop:0.65 "
                          "transparent, stop:0.8 transparent, stop:0.85 #8c6927, stop:1 #8c6927);\n"
                          "    border: 1px solid #8c6927 ;\n"
                          "    border-radius: 7px;\n"
                          "}\n"
                          "\n"
                          "QRadioButton::indicator:unchecked {\n"
                          "    background-color: transparent;\n"
                          "    border: 2px solid #777777;\n"
                          "}\n"
                          "QRadioButton::indicator:unchecked:hover {\n"
                          "    background-color: transparent;\n"
                          "    border: 2px solid #666666;\n"
                          "}\n"
                          "\n"
                          "QRadioButton:disabled {\n"
                          "    background-color: #d3d3d3;\n"
                          "}");
}

QString port_combo()
{
    return QStringLiteral("QComboBox {\n"
                          "\n"
                          "\theight: 20px;\n"
                          "    background: white;\n"
                          "    border: 2px solid  #8C6927;\n"
                          "    border-radius: 5px;\n"
                          "\tcolor:black;\n"
                          "\n"
                          "}\n"
                          "QComboBox::drop-down {\n"
                          "color:black;\n"
                          "    border: none;\n"
                          "    image: url(:/image/image_resource/down_arrow.png);\n"
                          "    subcontrol-origin: padding;\n"
                          "    subcontrol-position: right center; /* 将箭头放置在右侧中心位置 */\n"
                          "  \tmargin-right: 3px; /* 设置右边距离为 6px */\n"
                          "margin-left: 3px; /* 设置右边距离为 6px */\n"
                          "}\n"
                          "QComboBox::down-arrow {\n"
                          "    image: url(:/image/image_resource/down_arrow.png);\n"
                          "}\n"
                          "\n"
                          "QComboBox::up-arrow {\n"
                          "    border: none;\n"
                          "  image: url(:/image/image_resource/up_arrow.png);\n"
                          "color:black;\n"
                          "}\n"
                          "QComboBox QAbstractItemView {\n"
                          "    border: none;\n"
                          "    background-color: #FFFFFF;\n"
                          "    selection-background-color: #CC8C6927;\n"
                          "\tborder-radius: 5px;\n"
                          "    outline: 0px solid gray;\n"
                          "color:black;\n"
                          "}");
}

QString connect_button()
{
    return QString::fromUtf8(connect_button_sheet);
}

QString action_panel()
{
    return QString::fromUtf8(connect_button_sheet) + QString::fromUtf8(disabled_button_sheet);
}

QString check_box()
{
    return QStringLiteral("    QCheckBox{\n"
                          "            font:  13px;\n"
                          "            color: #444444;\n"
                          "font-weight: bold; \n"
                          "    }\n"
                          "    QCheckBox::indicator {\n"
                          "            width: 14px; height: 14px;\n"
                          "    }\n"
                          "    QCheckBox::indicator:checked {\n"
                          "            background:#FFFFFF;\n"
                          "            image: url(:/image/image_resource/checkbox-checked.png)\n"
                          "    }\n"
                          "    QCheckBox::indicator:unchecked {\n"
                          "            background:#FFFFFF;\n"
                          "            image:url(:/image/image_resource/checkbox.png)\n"
                          "    }");
}

QString spin_box()
{
    return QStringLiteral("QSpinBox {\n"
                          "    background-color: white;\n"
                          "    border: 1px solid grey;\n"
                          "    border-radius: 5px;\n"
                          "    height: 16px;\n"
                          "\tpadding-left:4px;\n"
                          "\tcolor:black;\n"
                          "}\n"
                          "\n"
                          "QSpinBox:hover {\n"
                          "    border: 1px solid #666666;\n"
                          "    background-color: #FBFBFB;\n"
                          "}\n"
                          "\n"
                          "QSpinBox:focus {\n"
                          "    border: 2px solid #666666;\n"
                          "}\n"
                          "QSpinBox:focus:hover {\n"
                          "    border: 2px solid #666666;\n"
                          "}\n"
                          "QSpinBox:disabled {\n"
                          "    background-color: #d3d3d3;\n"
                          "}");
}

QString double_spin_box()
{
    // Same look as the integer boxes, selected by the other class name.
    QString sheet = spin_box();
    return sheet.replace(QStringLiteral("QSpinBox"), QStringLiteral("QDoubleSpinBox"));
}

QString excitation_group()
{
    return QStringLiteral("QDoubleSpinBox:disabled {\n"
                          "    background-color: grey;\n"
                          "}\n");
}

QString line_edit()
{
    return QStringLiteral("QLineEdit {\n"
                          "    background-color: white;\n"
                          "    border: 1px solid grey;\n"
                          "    border-radius: 5px;\n"
                          "    height: 16px;\n"
                          "padding-left:4px;\n"
                          "color:black;\n"
                          "}\n"
                          "\n"
                          "QLineEdit:hover {\n"
                          "    border: 1px solid #666666;\n"
                          "    background-color: #FBFBFB;\n"
                          "}\n"
                          "\n"
                          "QLineEdit:focus {\n"
                          "    border: 2px solid #666666;\n"
                          "}\n"
                          "QLineEdit:focus:hover {\n"
                          "    border: 2px solid #666666;\n"
                          "}\n");
}

QString channel_number(const QString &colour, const QString &colour_name)
{
    // Every channel but the first names its colour in a comment after the border.
    const QString comment =
        colour_name.isEmpty() ? QString() : QStringLiteral("     /* %1 */").arg(colour_name);
    return QStringLiteral("QLabel {\n    border: 1px solid ") + colour + QLatin1Char(';') +
           comment +
           QStringLiteral("\n"
                          "    color: black;\n"
                          "    border-radius: 2px;\n"
                          "}");
}

QString value_label(const QString &colour)
{
    return QStringLiteral("color:%1;").arg(colour);
}

} // namespace FormStyleSheets
