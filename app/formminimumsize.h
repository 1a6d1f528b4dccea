#pragma once

namespace Ui {
class MainWindow;
}

// Raises the central widget's minimum height to what the plot column needs with the legend in
// its tallest arrangement, so that the window at its smallest, at any width, shows the legend
// whole; the control column scrolls. Call once the value labels have their widths. GUI thread
// only.
void fit_form_minimum_height(Ui::MainWindow &ui);
