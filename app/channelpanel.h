#pragma once

#include <QList>
#include <QObject>

class QCheckBox;
class QLabel;
class VoltagePlot;

namespace Ui {
class MainWindow;
}

// The channel side of the main window: the sixteen channel check boxes and
// "Select All" in the channel group box, the legend frames and the value
// labels under the plot. The window's slots forward to it; it remembers the
// channel choice in the settings store and shows or hides the plot's graphs.
// GUI thread only.
class ChannelPanel
{
public:
    ChannelPanel(Ui::MainWindow *ui, VoltagePlot *plot);

    // Fills the group box once. The boxes' toggled(bool) signals go to the
    // receiver's slots, given as SLOT() signatures.
    void build_check_boxes(QObject *receiver, const char *channelSlot, const char *selectAllSlot);

    // A channel box changed: store it and show or hide its graph.
    void channel_toggled(QCheckBox *box, bool checked);
    void select_all(bool checked);
    // Re-reads every channel box from the settings, as on a switch to multi-channel mode.
    void reload_check_states();

    // Clears the value labels and frames the legend in the mode's colours.
    void style_value_labels(bool multiChannel);
    // Display timer tick: the labels change on every sixth tick.
    void refresh_value_labels(bool singleChannel);

    // Stored visibility of channels 0..15.
    static QList<bool> stored_visibility();
    static QString value_text(double millivolts);

private:
    QList<QCheckBox *> channel_boxes() const;
    // Gives the value labels room for any reading.
    void size_value_labels();

    Ui::MainWindow *const ui_;
    VoltagePlot *const plot_;
    QList<QLabel *> valueLabels_; // voltage_label_1..16, looked up on the first refresh
    int refreshCounter_ = 0;      // never reset between runs
};
