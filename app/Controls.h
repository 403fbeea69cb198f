#pragma once

#include "app/ImageList.h"

#include <QFont>
#include <QString>

class QFrame;
class QRect;
class QToolButton;
class QWidget;

// Building blocks the program's windows share.
namespace Controls
{

// A font by family name, with a style hint so that a system without the family
// falls back to a close one.
QFont font(const QString& family, QFont::StyleHint hint);

// Font sizes, in points or in pixels.
struct Points {
    int value;
};
struct Pixels {
    int value;
};

// The same font at a size.
QFont font(const QString& family, QFont::StyleHint hint, Points size);
QFont font(const QString& family, QFont::StyleHint hint, Pixels size);

// Moves a window so that its frame is centred on the primary screen's available area.
void centreOnScreen(QWidget* window);

// A bevel drawn as a horizontal line.
QFrame* bevel(QWidget* parent, const QString& name, const QRect& geometry);

// The next flat button of a tool bar: 26 × 22 pixels, its image only, its hint as
// tool tip and accessible name, placed right of the buttons already there.
QToolButton* addToolButton(
    QWidget* toolBar, const QString& name, ImageList::Window images, int imageIndex, const QString& hint);

} // namespace Controls
