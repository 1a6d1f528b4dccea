#pragma once

class QMainWindow;

namespace Ui {
class MainWindow;
}

// Gives the form built by setupUi what its Designer file does not hold: the style sheets (from
// the resource, see FormStyleSheets), the legend's channel colours (from ChannelPalette) and
// the legend's rows (LegendRows, a child of the legend). Call once, right after setupUi on
// window. GUI thread only.
void complete_form(Ui::MainWindow &ui, QMainWindow *window);
