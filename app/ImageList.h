#pragma once

#include <QIcon>

// The tool-bar images of the two working windows, by index, and their window icons.
namespace ImageList {

enum Window { QueryWindow, CaptureEditor };

QIcon icon(Window window, int index);
QIcon windowIcon(Window window);

} // namespace ImageList
