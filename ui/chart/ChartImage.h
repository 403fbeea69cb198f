#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>

class QChartView;
class QPainter;

// A chart as the window shows it, drawn elsewhere: into the bytes of an image file
// (PNG at the window's pixels, SVG and PDF as drawings of its size) or onto a page.
namespace ChartImage
{

enum class Format { Png, Svg, Pdf };

// "png", "svg", "pdf".
[[nodiscard]] QString extension(Format format);
// The file's bytes; its title and description (SVG, PDF) are the chart's accessible
// name and description.
[[nodiscard]] QByteArray render(QChartView& view, Format format);
// Draws the chart into target, as large as it fits with its proportions kept.
void paint(QChartView& view, QPainter& painter, const QRectF& target);

} // namespace ChartImage
