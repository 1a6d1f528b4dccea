#pragma once

#include <QString>

// Style sheets of the main window form, read from the .qss files compiled into the application
// (":/form/sheets/"). They are set per widget; the window has no application-wide sheet.
namespace FormStyleSheets {

QString window();
QString central();
QString port_combo();
QString connect_button();
QString action_panel();
QString check_box();
QString spin_box();
QString double_spin_box();
QString excitation_group();
QString line_edit();
// Border of a legend number label in the channel's colour; colour_name may be empty.
QString channel_number(const QString &colour, const QString &colour_name);
QString value_label(const QString &colour);

} // namespace FormStyleSheets
