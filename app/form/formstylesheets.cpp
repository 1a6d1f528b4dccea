#include "formstylesheets.h"

#include <QFile>
#include <QHash>

namespace FormStyleSheets {

namespace {

// The text of sheets/<name>.qss, read from the resource the first time it is asked for. The
// files are the sheets to the byte: no newline is added or taken away. GUI thread only, as the
// form is.
QString sheet(const QString &name)
{
    static QHash<QString, QString> loaded;
    auto found = loaded.constFind(name);
    if (found == loaded.constEnd()) {
        QFile file(QStringLiteral(":/form/sheets/%1.qss").arg(name));
        const bool opened = file.open(QIODevice::ReadOnly);
        Q_ASSERT_X(opened, "FormStyleSheets", "style sheet missing from the resource");
        found = loaded.insert(name, opened ? QString::fromUtf8(file.readAll()) : QString());
    }
    return *found;
}

} // namespace

QString window()
{
    return sheet(QStringLiteral("window"));
}

QString central()
{
    return sheet(QStringLiteral("central"));
}

QString port_combo()
{
    return sheet(QStringLiteral("port_combo"));
}

QString connect_button()
{
    return sheet(QStringLiteral("connect_button"));
}

QString action_panel()
{
    // The action panel repeats the connect button look and adds a disabled state.
    return connect_button() + sheet(QStringLiteral("button_disabled"));
}

QString check_box()
{
    return sheet(QStringLiteral("check_box"));
}

QString spin_box()
{
    return sheet(QStringLiteral("spin_box"));
}

QString double_spin_box()
{
    // Same look as the integer boxes, selected by the other class name.
    QString text = spin_box();
    return text.replace(QStringLiteral("QSpinBox"), QStringLiteral("QDoubleSpinBox"));
}

QString excitation_group()
{
    return sheet(QStringLiteral("excitation_group"));
}

QString line_edit()
{
    return sheet(QStringLiteral("line_edit"));
}

QString channel_number(const QString &colour, const QString &colour_name)
{
    // Every channel but the first names its colour in a comment after the border.
    const QString comment =
        colour_name.isEmpty() ? QString() : QStringLiteral("     /* %1 */").arg(colour_name);
    return sheet(QStringLiteral("legend_number")).arg(colour, comment);
}

QString value_label(const QString &colour)
{
    return sheet(QStringLiteral("legend_value")).arg(colour);
}

} // namespace FormStyleSheets
