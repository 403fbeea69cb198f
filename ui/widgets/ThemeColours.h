#pragma once

#include <QColor>
#include <QPalette>
#include <functional>

class QObject;
class QWidget;

// The colours the program draws with itself, each with a shade for a light window
// and one for a dark one (a dark desktop theme), chosen for the palette in force and
// kept readable on its background: a contrast ratio of at least 4.5 to 1, as the
// Web's accessibility guidelines measure it. A theme switched while the program runs
// recolours what follows it.
namespace ThemeColours
{

enum class Ink {
    Counter, // the record counter and the open transaction's notice
    Keyword, // the statement's colours, in the statement box and the query editor
    Quoted,
    Number,
    Comment,
    Parameter,
    Failure, // a failed run in the history
    Title, // the splash's large title
};

// The relative luminance of a colour: 0 for black, 1 for white.
double luminance(const QColor& colour);
// (lighter + 0.05) / (darker + 0.05): from 1 (the same) to 21 (black on white).
double contrast(const QColor& a, const QColor& b);
// A background on which white reads better than black.
bool isDark(const QColor& background);

// The palette's colour that an ink is drawn on: the window's for labels, the base
// of text boxes and lists for the others.
QPalette::ColorRole backgroundRole(Ink ink);
// The least contrast an ink keeps: 4.5, and 3 for the splash's title, whose 43-pixel
// bold letters are large text.
double minimumContrast(Ink ink);

// The ink's shade for the palette's background in group; where a theme's background
// is neither light nor dark enough for it, the shade is darkened or lightened until
// it reads. Themes may give a window that is not the active one another background.
QColor colour(Ink ink, const QPalette& palette, QPalette::ColorGroup group);
// The shade for text that has one colour whether its window is active or not (the
// statement's colours, the history's): the active window's, made to read on the other
// background too.
QColor colour(Ink ink, const QPalette& palette);
// preferred, or the first mix of it towards black (or white, on a dark background)
// that has the contrast asked against background.
QColor readable(const QColor& preferred, const QColor& background, double minimum);

// Calls update whenever widget's palette changes, from a theme switched on the
// desktop or the application's palette set anew, for as long as owner lives (the
// widget itself when none). Changes that update makes itself are not reported back.
void follow(QWidget* widget, const std::function<void()>& update, QObject* owner = nullptr);
// Draws widget's text (its window-text colour) in ink, active or not, now and after
// every change of its palette.
void setTextInk(QWidget* widget, Ink ink);

} // namespace ThemeColours
