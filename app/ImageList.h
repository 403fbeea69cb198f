#pragma once

#include <QIcon>

// The tool-bar images of the two working windows, by index, and their window icons.
namespace ImageList
{

enum Window { QueryWindow, CaptureEditor };

QIcon icon(Window window, int index);
QIcon windowIcon(Window window);
// The program's own icon (task bar, desktop entry).
QIcon applicationIcon();

} // namespace ImageList
