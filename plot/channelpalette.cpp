#include "channelpalette.h"

#include <array>

namespace {

struct Entry
{
    int red;
    int green;
    int blue;
    const char *name;
};

constexpr std::array<Entry, ChannelPalette::channelCount> entries = {{
    {255, 0, 0, "Red"},
    {0, 255, 0, "Green"},
    {0, 0, 255, "Blue"},
    {255, 102, 0, "Orange"},
    {255, 0, 255, "Magenta"},
    {0, 255, 255, "Cyan"},
    {128, 0, 0, "Dark Red"},
    {0, 128, 0, "Dark Green"},
    {0, 0, 128, "Dark Blue"},
    {128, 128, 0, "Olive"},
    {128, 0, 128, "Purple"},
    {0, 128, 128, "Teal"},
    {165, 42, 42, "Brown"},
    {210, 105, 30, "Chocolate"},
    {95, 158, 160, "Cadet Blue"},
    {211, 105, 211, "Orchid"},
}};

} // namespace

const QList<QColor> &ChannelPalette::colours()
{
    static const QList<QColor> list = [] {
        QList<QColor> built;
        for (const Entry &entry : entries)
            built.append(QColor(entry.red, entry.green, entry.blue));
        return built;
    }();
    return list;
}

QString ChannelPalette::sheet_colour(int index)
{
    const Entry &entry = entries.at(std::size_t(index));
    return QStringLiteral("rgb(%1,%2,%3)").arg(entry.red).arg(entry.green).arg(entry.blue);
}

QString ChannelPalette::colour_name(int index)
{
    return QString::fromUtf8(entries.at(std::size_t(index)).name);
}
