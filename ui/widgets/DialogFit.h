#pragma once

class QMessageBox;
class QPrintDialog;
class QSize;
class QString;
class QWidget;

// Corrections to Qt's own dialogs, made before they are run.
namespace DialogFit
{

// The width a window needs for a title bar that shows its whole caption.
int captionWidth(const QString& caption);

// The size of columns average characters by lines lines of window's text, so that a
// window grows with the system's font size; never larger than the screen's free area.
QSize textSize(const QWidget* window, int columns, int lines);

// Widens box so that a window manager's title bar shows its whole caption: Qt
// leaves 50 pixels beside it, and openbox cut "Confirmation" to "Confi… ation".
void showWholeCaption(QMessageBox& box);

// Keeps the page range entries of dialog disabled and "all pages" chosen. Qt's
// dialog enables "Pages de" and "Pages" whenever it is shown, whatever its options.
void withoutPageRange(QPrintDialog& dialog);

} // namespace DialogFit
