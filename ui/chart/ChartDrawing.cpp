#include "ui/chart/ChartDrawing.h"

#include "data/ChartReduction.h"
#include "platform/Exceptions.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QLocale>
#include <QPieSeries>
#include <QScatterSeries>
#include <QSet>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace
{

using Axis = ChartData::Axis;
using Kind = ChartChoice::Kind;

// A scatter's points are kept one a cell of this many pixels, about a marker's radius.
constexpr int kScatterCell = 3;
constexpr qreal kMarkerSize = 7;

struct Range {
    double low = qInf();
    double high = -qInf();
    void add(double v)
    {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    bool empty() const { return low > high; }
};

QString numberText(double v, const QLocale& locale)
{
    return locale.toString(v, 'g', 15);
}

// The text of an X value, as the axis shows it.
QString xText(const ChartData& data, double x, const QLocale& locale)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(x)));
    switch (data.axis) {
    case Axis::Category:
        return data.categories.value(qsizetype(x));
    case Axis::Number:
        return numberText(x, locale);
    case Axis::Date:
        return locale.toString(at.date(), QLocale::ShortFormat);
    case Axis::Time:
        return locale.toString(at.time(), QLocale::ShortFormat);
    case Axis::DateTime:
        return locale.toString(at, QLocale::ShortFormat);
    }
    return {};
}

// Labels made each unique: Qt Charts' category axes drop a repeated one.
QStringList unique(QStringList labels)
{
    QSet<QString> seen;
    for (QString& label : labels) {
        const QString plain = label;
        for (int n = 2; seen.contains(label); ++n)
            label = QStringLiteral("%1 (%2)").arg(plain).arg(n);
        seen.insert(label);
    }
    return labels;
}

// The labels of the points at every step-th rank.
QStringList labelsOf(const ChartData& data, qsizetype step, const QLocale& locale)
{
    QStringList labels;
    for (size_t i = 0; i < data.x.size(); i += size_t(step))
        labels.push_back(xText(data, data.x[i], locale));
    return unique(labels);
}

std::vector<QPointF> pointsOf(const ChartData& data, const ChartData::Series& series, bool sorted)
{
    std::vector<QPointF> points;
    points.reserve(data.x.size());
    for (size_t i = 0; i < data.x.size(); ++i)
        if (!std::isnan(series.y[i]))
            points.emplace_back(data.x[i], series.y[i]);
    const auto byX = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    if (sorted && !std::is_sorted(points.begin(), points.end(), byX))
        std::stable_sort(points.begin(), points.end(), byX);
    return points;
}

// Numbers as the locale writes them, without a needless ",0".
constexpr auto kNumberFormat = "%.10g";

// Categories named below their bars or points: each one where they fit, else every
// so many, on a value axis of their ranks.
QAbstractAxis* categoryAxis(const ChartData& data, int width, const QLocale& locale)
{
    const qsizetype count = data.pointCount();
    const qsizetype fit = std::max(2, width / 110);
    if (count <= fit) {
        auto* categories = new QBarCategoryAxis;
        categories->append(labelsOf(data, 1, locale));
        return categories;
    }
    auto* ranks = new QCategoryAxis;
    ranks->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const qsizetype step = (count + fit - 1) / fit;
    const QStringList labels = labelsOf(data, step, locale);
    for (qsizetype i = 0; i < labels.size(); ++i)
        ranks->append(labels[i], double(i * step));
    ranks->setRange(-0.5, double(count) - 0.5);
    return ranks;
}

// Ticks at round numbers (1, 2 or 5 times a power of ten) over the values' own range,
// which the reduction's pixel columns cover.
void roundTicks(QValueAxis& axis, const Range& x, int width)
{
    if (x.empty() || !(x.high > x.low))
        return;
    const double rough = (x.high - x.low) / std::clamp(width / 110, 2, 10);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = rough <= power ? power : rough <= 2 * power ? 2 * power : rough <= 5 * power ? 5 * power : 10 * power;
    axis.setRange(x.low, x.high);
    axis.setTickType(QValueAxis::TicksDynamic);
    axis.setTickAnchor(std::ceil(x.low / step) * step);
    axis.setTickInterval(step);
}

QAbstractAxis* xAxisFor(const ChartData& data, Kind kind, int width, const QLocale& locale)
{
    QAbstractAxis* axis = nullptr;
    if (kind == Kind::Bars || data.axis == Axis::Category) {
        axis = categoryAxis(data, width, locale);
    } else if (data.axis == Axis::Number) {
        auto* values = new QValueAxis;
        values->setLabelFormat(QString::fromLatin1(kNumberFormat));
        axis = values;
    } else {
        auto* times = new QDateTimeAxis;
        times->setFormat(data.axis == Axis::Date ? locale.dateFormat(QLocale::ShortFormat)
                : data.axis == Axis::Time        ? locale.timeFormat(QLocale::ShortFormat)
                                                 : locale.dateTimeFormat(QLocale::ShortFormat));
        times->setTickCount(std::clamp(width / 110, 2, 10));
        axis = times;
    }
    axis->setTitleText(data.xTitle);
    return axis;
}

QAbstractSeries* barsOf(const ChartData& data)
{
    if (data.pointCount() > ChartDrawing::kMostBars)
        throw Exception(QStringLiteral("Trop de barres : %1 catégories, au plus %2. Choisissez les lignes, "
                                       "ou regroupez les valeurs dans la requête")
                            .arg(QLocale().toString(data.pointCount()), QLocale().toString(ChartDrawing::kMostBars)));
    auto* bars = new QBarSeries;
    for (const ChartData::Series& s : data.series) {
        auto* set = new QBarSet(s.name);
        QList<qreal> values;
        for (const double y : s.y)
            values.push_back(std::isnan(y) ? 0 : y);
        set->append(values);
        bars->append(set);
    }
    return bars;
}

QAbstractSeries* pieOf(const ChartData& data, const QLocale& locale)
{
    if (data.pointCount() > ChartDrawing::kMostSlices)
        throw Exception(QStringLiteral("Trop de secteurs : %1 catégories, au plus %2. Choisissez les barres, "
                                       "ou regroupez les valeurs dans la requête")
                            .arg(QLocale().toString(data.pointCount()), QLocale().toString(ChartDrawing::kMostSlices)));
    auto* pie = new QPieSeries;
    pie->setName(data.series.front().name);
    const QStringList labels = labelsOf(data, 1, locale);
    for (size_t i = 0; i < data.x.size(); ++i) {
        const double y = data.series.front().y[i];
        if (y > 0)
            pie->append(QStringLiteral("%1 : %2").arg(labels[qsizetype(i)], numberText(y, locale)), y);
    }
    pie->setLabelsVisible(pie->count() <= 24);
    return pie;
}

// A line, area or scatter series of points, reduced to what pixels show.
QAbstractSeries* curveOf(Kind kind, const QString& name, std::vector<QPointF> points, const Range& x, const Range& y,
    QSize pixels, qsizetype& drawn)
{
    if (kind == Kind::Scatter) {
        const int columns = pixels.width() / kScatterCell, rows = pixels.height() / kScatterCell;
        if (points.size() > size_t(columns) * 2)
            points = ChartReduction::cells(points, QRectF(x.low, y.low, x.high - x.low, y.high - y.low), columns, rows);
    } else if (points.size() > size_t(pixels.width()) * 4) {
        points = ChartReduction::columns(points, x.low, x.high, pixels.width());
    }
    drawn += qsizetype(points.size());
    QXYSeries* line = kind == Kind::Scatter ? static_cast<QXYSeries*>(new QScatterSeries) : new QLineSeries;
    line->replace(QList<QPointF>(points.begin(), points.end()));
    line->setName(name);
    if (kind != Kind::Areas)
        return line;
    auto* area = new QAreaSeries;
    line->setParent(area);
    area->setUpperSeries(static_cast<QLineSeries*>(line));
    area->setName(name);
    return area;
}

QString rangeText(const ChartData& data, const Range& x, const Range& y, const QLocale& locale)
{
    if (x.empty())
        return QStringLiteral("aucune valeur");
    // Said to six digits, as a reader takes in a value.
    const auto said = [&locale](double v) { return locale.toString(v, 'g', 6); };
    const QString from = data.axis == Axis::Number ? said(x.low) : xText(data, x.low, locale);
    const QString to = data.axis == Axis::Number ? said(x.high) : xText(data, x.high, locale);
    return QStringLiteral("%1 de %2 à %3, valeurs de %4 à %5").arg(data.xTitle, from, to, said(y.low), said(y.high));
}

} // namespace

namespace ChartDrawing
{

QString kindName(Kind kind)
{
    static const char* const names[] = { "barres", "lignes", "aires", "secteurs", "nuage de points" };
    return QString::fromUtf8(names[kind]);
}

Summary draw(QChart& chart, const ChartData& data, Kind kind, QSize pixels, bool dark)
{
    chart.removeAllSeries();
    for (QAbstractAxis* axis : chart.axes()) {
        chart.removeAxis(axis);
        delete axis;
    }
    const QLocale locale;
    chart.setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart.setLocale(locale);
    chart.setLocalizeNumbers(true);
    pixels = pixels.expandedTo(QSize(kScatterCell, kScatterCell));

    // The series drawn: a pie draws the first.
    const bool pie = kind == Kind::Pie;
    QStringList names;
    for (const ChartData::Series& s : data.series)
        if (!pie || names.isEmpty())
            names += s.name;
    Summary summary;
    summary.name = QStringLiteral("Graphique en %1 : %2 par %3").arg(kindName(kind), names.join(QStringLiteral(", ")), data.xTitle);
    chart.setTitle(QStringLiteral("%1 par %2").arg(names.join(QStringLiteral(", ")), data.xTitle));

    // The ranges, over the values drawn (a pie draws the first series).
    Range x, y;
    for (size_t s = 0; s < size_t(names.size()); ++s)
        for (size_t i = 0; i < data.x.size(); ++i)
            if (!std::isnan(data.series[s].y[i])) {
                x.add(data.x[i]);
                y.add(data.series[s].y[i]);
            }

    std::vector<QAbstractSeries*> series;
    if (kind == Kind::Bars) {
        series.push_back(barsOf(data));
        summary.drawn = data.pointCount();
    } else if (pie) {
        if (!data.series.empty())
            series.push_back(pieOf(data, locale));
        summary.drawn = data.pointCount();
    } else {
        for (const ChartData::Series& s : data.series)
            series.push_back(curveOf(kind, s.name, pointsOf(data, s, kind != Kind::Scatter), x, y, pixels, summary.drawn));
    }
    summary.points = data.pointCount() * names.size();
    summary.drawn = std::min(summary.drawn * (kind == Kind::Bars ? qsizetype(data.series.size()) : 1), summary.points);

    for (QAbstractSeries* s : series)
        chart.addSeries(s);
    if (!pie) {
        QAbstractAxis* xAxis = xAxisFor(data, kind, pixels.width(), locale);
        auto* yAxis = new QValueAxis;
        yAxis->setLabelFormat(QString::fromLatin1(kNumberFormat));
        yAxis->setTitleText(names.size() == 1 ? names.front() : QString());
        chart.addAxis(xAxis, Qt::AlignBottom);
        chart.addAxis(yAxis, Qt::AlignLeft);
        if (auto* values = qobject_cast<QValueAxis*>(xAxis); values && data.axis == Axis::Number)
            roundTicks(*values, x, pixels.width());
        for (QAbstractSeries* s : series) {
            s->attachAxis(xAxis);
            s->attachAxis(yAxis);
            if (auto* area = qobject_cast<QAreaSeries*>(s)) {
                QColor colour = area->color();
                colour.setAlphaF(0.6);
                area->setColor(colour);
            } else if (auto* scatter = qobject_cast<QScatterSeries*>(s)) {
                scatter->setMarkerSize(kMarkerSize);
                scatter->setBorderColor(scatter->color());
            }
        }
        // Heights from zero, as a bar's or an area's are; a scatter's over its values.
        if (!y.empty()) {
            const double low = kind == Kind::Scatter ? y.low : std::min(0.0, y.low);
            yAxis->setRange(low, y.high > low ? y.high : low + 1);
        }
        yAxis->applyNiceNumbers();
    }
    chart.legend()->setVisible(pie || data.series.size() > 1);

    summary.description = QStringLiteral("Graphique en %1 ; %2 : %3 ; %4 points ; %5")
                              .arg(kindName(kind),
                                  names.size() == 1 ? QStringLiteral("série") : QStringLiteral("séries"),
                                  names.join(QStringLiteral(", ")), locale.toString(summary.points),
                                  rangeText(data, x, y, locale));
    if (summary.reduced())
        summary.description += QStringLiteral(" ; dessiné réduit à %1 points").arg(locale.toString(summary.drawn));
    return summary;
}

} // namespace ChartDrawing
