#pragma once

namespace Ui {
class MainWindow;
}

// Raises the central widget's minimum height to what the control column needs in its tallest
// mode, so that the window at its smallest still shows every control whole. Call once the
// channel boxes are built. GUI thread only.
void fit_form_minimum_height(Ui::MainWindow &ui);
