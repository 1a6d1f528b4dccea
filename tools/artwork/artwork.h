#pragma once

#include <QImage>

// The application's images, drawn in code so they can be regenerated at any size change.
namespace artwork {

// Battery outline with `segments` (1..4) of four segments filled.
QImage battery(int segments);
QImage checkbox(bool checked);
QImage arrow(bool up);
QImage logo();

} // namespace artwork
