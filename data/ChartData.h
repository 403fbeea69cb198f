#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// What the user asks a chart of: its kind, the column of its categories or X axis, and
// the numeric columns of its values, or the count of records per category.
struct ChartChoice {
    enum Kind { Bars, Lines, Areas, Pie, Scatter };
    Kind kind = Bars;
    int xColumn = -1; // a field's index in the data set
    std::vector<int> valueColumns; // likewise; unused when counting
    bool count = false;
};

// What a chart draws, read from a result in the order it is shown: the X values and
// one series of values a column (or the count of records per category).
struct ChartData {
    // What the X column holds: texts (categories), numbers, or dates and times, each
    // given as milliseconds since 1970-01-01 in local time (a time alone on that day).
    enum class Axis { Category, Number, Date, Time, DateTime };
    struct Series {
        QString name;
        std::vector<double> y; // one a point; NaN where the row has no number
    };

    Axis axis = Axis::Category;
    QString xTitle;
    std::vector<double> x; // one a point: the category's number (0, 1...) for texts
    QStringList categories; // the texts, for a category axis
    std::vector<Series> series;
    // Records left out because their X has no value of the column's kind (a null, a
    // text in a date column).
    qsizetype skipped = 0;

    qsizetype pointCount() const { return qsizetype(x.size()); }
};
