#pragma once

#include <QPointF>
#include <QRectF>
#include <span>
#include <vector>

// A curve of many points reduced to what a screen can show of it, so that a million
// points draw at once and the picture stays the same. Points are given as they are to
// be drawn; the points kept come in the same order.
namespace ChartReduction
{

// For a line or an area: the X range [left, right] is cut into columns pixel columns.
// Of each run of consecutive points in the same column, the first, the lowest, the
// highest and the last are kept (points sorted by X make one run a column).
[[nodiscard]] std::vector<QPointF> columns(std::span<const QPointF> points, double left, double right, int columns);
// For a scatter of points: box is cut into columns x rows cells, and the first point
// of each cell that holds one is kept.
[[nodiscard]] std::vector<QPointF> cells(std::span<const QPointF> points, const QRectF& box, int columns, int rows);

} // namespace ChartReduction
