#pragma once

#include "data/ChartData.h"

#include <QSize>
#include <QString>

class QChart;

// A chart's data drawn with Qt Charts: the series of the kind asked for, their axes,
// titles from the column names, numbers and dates in the user's locale, and Qt
// Charts' dark theme under a dark palette. A curve of more points than its plot has
// pixel columns is drawn reduced (ChartReduction), which keeps its shape.
namespace ChartDrawing
{

// What a drawn chart shows, in words (its accessible name and description), and
// whether it was reduced.
struct Summary {
    QString name; // "Graphique en barres : visites par mois"
    QString description; // kind, series, number of points, ranges
    qsizetype points = 0; // points of the data
    qsizetype drawn = 0; // points drawn
    bool reduced() const { return drawn < points; }
};

// Most bars and pie slices that a chart draws: more are unreadable, and slow.
constexpr qsizetype kMostBars = 2000;
constexpr qsizetype kMostSlices = 100;

// Replaces what chart draws with data as kind, for a plot of pixels; throws Exception
// with a message for the user when the data cannot be drawn so (too many bars).
Summary draw(QChart& chart, const ChartData& data, ChartChoice::Kind kind, QSize pixels, bool dark);
// "barres", "lignes"...: the kind as a chart's name says it.
QString kindName(ChartChoice::Kind kind);

} // namespace ChartDrawing
