#include "data/ChartReduction.h"

#include <algorithm>
#include <cmath>

namespace
{

// The cell, 0 to count - 1, that value falls in when [low, high] is cut into count.
int cellOf(double value, double low, double high, int count)
{
    if (!(high > low))
        return 0;
    const double at = std::floor((value - low) / (high - low) * count);
    return int(std::clamp(at, 0.0, double(count - 1)));
}

} // namespace

namespace ChartReduction
{

std::vector<QPointF> columns(std::span<const QPointF> points, double left, double right, int columns)
{
    std::vector<QPointF> kept;
    columns = std::max(columns, 1);
    for (size_t first = 0; first < points.size();) {
        const int column = cellOf(points[first].x(), left, right, columns);
        size_t lowest = first, highest = first, end = first + 1;
        for (; end < points.size() && cellOf(points[end].x(), left, right, columns) == column; ++end) {
            if (points[end].y() < points[lowest].y())
                lowest = end;
            if (points[end].y() > points[highest].y())
                highest = end;
        }
        size_t keep[] = { first, lowest, highest, end - 1 };
        std::sort(std::begin(keep), std::end(keep));
        for (size_t i = 0; i < std::size(keep); ++i)
            if (i == 0 || keep[i] != keep[i - 1])
                kept.push_back(points[keep[i]]);
        first = end;
    }
    return kept;
}

std::vector<QPointF> cells(std::span<const QPointF> points, const QRectF& box, int columns, int rows)
{
    columns = std::max(columns, 1);
    rows = std::max(rows, 1);
    std::vector<bool> taken(size_t(columns) * size_t(rows));
    std::vector<QPointF> kept;
    for (const QPointF& p : points) {
        const size_t cell = size_t(cellOf(p.x(), box.left(), box.right(), columns)) * size_t(rows)
            + size_t(cellOf(p.y(), box.top(), box.bottom(), rows));
        if (!taken[cell]) {
            taken[cell] = true;
            kept.push_back(p);
        }
    }
    return kept;
}

} // namespace ChartReduction
