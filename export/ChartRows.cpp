#include "export/ChartRows.h"

#include "data/DataSet.h"
#include "data/IsoDateTime.h"
#include "data/RowsSnapshot.h"
#include "export/ExportedFields.h"
#include "export/SheetValue.h"
#include "platform/Exceptions.h"

#include <QDateTime>
#include <QHash>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

namespace
{

using Axis = ChartData::Axis;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

// Whether every value of a text column is an ISO date, with a time of day on some.
std::optional<Axis> textDates(const RowsSnapshot& rows, int column)
{
    ResultStore::Place place;
    bool any = false, timed = false;
    for (qsizetype row = 0; row < rows.rowCount(); ++row) {
        const CellRef c = rows.cell(row, column, place);
        if (c.cls == CellClass::Null)
            continue;
        const auto stamp = c.cls == CellClass::Text ? IsoDateTime::stamp(bytesOf(c)) : std::nullopt;
        if (!stamp)
            return std::nullopt;
        any = true;
        timed = timed || stamp->time.has_value();
    }
    if (!any)
        return std::nullopt;
    return timed ? Axis::DateTime : Axis::Date;
}

Axis axisOf(const RowsSnapshot& rows, int column)
{
    switch (const TFieldType type = rows.type(column)) {
    case ftDate:
        return Axis::Date;
    case ftTime:
        return Axis::Time;
    case ftDateTime:
        return Axis::DateTime;
    default:
        if (ChartRows::isNumeric(type))
            return Axis::Number;
        if (type == ftString || type == ftUnknown)
            return textDates(rows, column).value_or(Axis::Category);
        return Axis::Category;
    }
}

// Milliseconds since 1970 of a local date and time; a day's start is worked out once.
class LocalTimes
{
public:
    double of(const QDate& day, const QTime& time)
    {
        auto [at, added] = m_days.try_emplace(day.toJulianDay(), 0);
        if (added)
            at->second = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
        return double(at->second + time.msecsSinceStartOfDay());
    }

private:
    std::unordered_map<qint64, qint64> m_days;
};

// The X of a cell on an axis that is not one of categories; nothing when it has none.
std::optional<double> xOf(const CellRef& c, TFieldType type, Axis axis, const TextForms& forms, LocalTimes& times)
{
    if (c.cls == CellClass::Null)
        return std::nullopt;
    if (axis != Axis::Number && c.cls == CellClass::Text && type != ftTime) {
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c)); stamp && axis != Axis::Time)
            return times.of(stamp->date.toDate(), stamp->time.value_or(QTime(0, 0)));
        return std::nullopt;
    }
    const SheetValue v = SheetValue::of(c, type, forms);
    switch (v.kind) {
    case SheetValue::Number:
    case SheetValue::Amount:
    case SheetValue::Truth:
        return axis == Axis::Number ? std::optional(v.number) : std::nullopt;
    case SheetValue::Time:
        return times.of(QDate(1970, 1, 1), v.time);
    default:
        return std::nullopt;
    }
}

double valueOf(const CellRef& c, TFieldType type, const TextForms& forms)
{
    const SheetValue v = SheetValue::of(c, type, forms);
    const bool number = v.kind == SheetValue::Number || v.kind == SheetValue::Amount || v.kind == SheetValue::Truth;
    return number ? v.number : kNone;
}

// Counting: one point a distinct X, categories in the order they first come, other
// values in increasing order.
class Counter
{
public:
    void add(const QString& category)
    {
        auto at = m_index.constFind(category);
        if (at == m_index.constEnd()) {
            at = m_index.insert(category, m_counts.size());
            m_counts.push_back(0);
            m_categories.push_back(category);
        }
        ++m_counts[size_t(*at)];
    }
    void add(double x) { ++m_byValue[x]; }

    void fill(ChartData& chart) const
    {
        std::vector<double> counts;
        for (size_t i = 0; i < m_counts.size(); ++i) {
            chart.x.push_back(double(i));
            counts.push_back(double(m_counts[i]));
        }
        for (const auto& [x, count] : m_byValue) {
            chart.x.push_back(x);
            counts.push_back(double(count));
        }
        chart.categories = m_categories;
        chart.series.push_back({ ChartRows::countName(), std::move(counts) });
    }

private:
    QHash<QString, qsizetype> m_index;
    std::vector<qsizetype> m_counts;
    QStringList m_categories;
    std::map<double, qsizetype> m_byValue;
};

} // namespace

namespace ChartRows
{

bool isNumeric(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftFloat || t == ftBCD
        || t == ftCurrency || t == ftBoolean;
}

QString countName()
{
    return QStringLiteral("Nombre d'enregistrements");
}

ChartData read(TDataSet& dataSet, const ChartChoice& choice)
{
    const TDataSet& data = ExportedFields::checked(&dataSet);
    if (choice.xColumn < 0 || choice.xColumn >= data.fieldCount())
        throw Exception(QStringLiteral("Choisissez la colonne des catégories ou de l'axe X"));
    const RowsSnapshot rows(data);
    const int xColumn = choice.xColumn;
    const TFieldType xType = rows.type(xColumn);
    ChartData chart;
    chart.axis = axisOf(rows, xColumn);
    chart.xTitle = data.field(xColumn)->displayLabel();
    std::vector<int> columns;
    if (!choice.count) {
        for (const int column : choice.valueColumns)
            if (column >= 0 && column < data.fieldCount()) {
                columns.push_back(column);
                chart.series.push_back({ data.field(column)->displayLabel(), {} });
            }
        if (columns.empty())
            throw Exception(QStringLiteral("Choisissez au moins une colonne de valeurs, ou le nombre d'enregistrements"));
    }

    Counter counter;
    LocalTimes times;
    ResultStore::Place place;
    for (qsizetype row = 0; row < rows.rowCount(); ++row) {
        const CellRef cell = rows.cell(row, xColumn, place);
        std::optional<double> x;
        QString category;
        if (chart.axis == Axis::Category) {
            if (cell.cls != CellClass::Null) {
                category = rows.forms().textOf(cell, xType);
                x = double(chart.x.size());
            }
        } else {
            x = xOf(cell, xType, chart.axis, rows.forms(), times);
        }
        if (!x) {
            ++chart.skipped;
            continue;
        }
        if (choice.count) {
            if (chart.axis == Axis::Category)
                counter.add(category);
            else
                counter.add(*x);
            continue;
        }
        chart.x.push_back(*x);
        if (chart.axis == Axis::Category)
            chart.categories.push_back(category);
        for (size_t i = 0; i < columns.size(); ++i)
            chart.series[i].y.push_back(valueOf(rows.cell(row, columns[i], place), rows.type(columns[i]), rows.forms()));
    }
    if (choice.count)
        counter.fill(chart);
    return chart;
}

} // namespace ChartRows
