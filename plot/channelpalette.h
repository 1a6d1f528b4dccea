#pragma once

#include "protocol.h"

#include <QColor>
#include <QList>
#include <QString>

// The channel colours of the whole application, kept once so that the plot's pens, the legend
// under the plot and anything else that shows a channel agree. Immutable; any thread.
class ChannelPalette
{
public:
    static constexpr int channelCount = InstrumentLimits::channelCount;

    // The colours of channels 1..16, channel n at index n-1.
    static const QList<QColor> &colours();
    // How the form's style sheets write the colour of the channel at index: "rgb(r,g,b)".
    static QString sheet_colour(int index);
    // The colour's plain name ("Red", "Cadet Blue"), for comments in style sheets.
    static QString colour_name(int index);
};
