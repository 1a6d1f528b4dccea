#pragma once

#include <QIcon>

// The application icon, loaded from the compiled-in images.
QIcon application_icon();
