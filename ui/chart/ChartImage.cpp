#include "ui/chart/ChartImage.h"

#include <QBuffer>
#include <QChartView>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

namespace ChartImage
{

QString extension(Format format)
{
    static const char* const names[] = { "png", "svg", "pdf" };
    return QString::fromLatin1(names[int(format)]);
}

void paint(QChartView& view, QPainter& painter, const QRectF& target)
{
    painter.setRenderHint(QPainter::Antialiasing);
    view.render(&painter, target, view.viewport()->rect(), Qt::KeepAspectRatio);
}

QByteArray render(QChartView& view, Format format)
{
    const QSize size = view.viewport()->size();
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    switch (format) {
    case Format::Png: {
        const qreal ratio = view.devicePixelRatioF();
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(view.palette().color(QPalette::Base));
        {
            QPainter painter(&image);
            paint(view, painter, QRectF(QPointF(0, 0), size));
        }
        image.save(&out, "PNG");
        break;
    }
    case Format::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&out);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(view.accessibleName());
        svg.setDescription(view.accessibleDescription());
        QPainter painter(&svg);
        paint(view, painter, QRectF(QPointF(0, 0), size));
        break;
    }
    case Format::Pdf: {
        // One page of the chart's size, at 96 pixels an inch, without margins.
        QPdfWriter pdf(&out);
        pdf.setTitle(view.accessibleName());
        pdf.setResolution(96);
        pdf.setPageLayout(QPageLayout(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point), QPageLayout::Portrait,
            QMarginsF(0, 0, 0, 0)));
        QPainter painter(&pdf);
        paint(view, painter, QRectF(QPointF(0, 0), size));
        break;
    }
    }
    return bytes;
}

} // namespace ChartImage
