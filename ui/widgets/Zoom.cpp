#include "ui/widgets/Zoom.h"

#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QTableView>
#include <QWheelEvent>
#include <cmath>

namespace
{
// From about half the size to three times it.
constexpr int kSmallest = -5;
constexpr int kLargest = 8;
} // namespace

ViewZoom::ViewZoom(QObject* parent)
    : QObject(parent)
{
}

double ViewZoom::factor(int step)
{
    return std::pow(1.15, step);
}

QFont ViewZoom::scaled(const QFont& font, int step)
{
    QFont f = font;
    if (font.pointSizeF() > 0)
        f.setPointSizeF(qMax(2.0, font.pointSizeF() * factor(step)));
    else if (font.pixelSize() > 0)
        f.setPixelSize(qMax(3, int(std::lround(font.pixelSize() * factor(step)))));
    return f;
}

void ViewZoom::add(QAbstractScrollArea* view)
{
    auto* table = qobject_cast<QTableView*>(view);
    m_views.append(View { view, view->font(), table ? table->horizontalHeader()->font() : QFont() });
    view->viewport()->installEventFilter(this);
    if (m_step != 0)
        setStep(m_step);
}

void ViewZoom::zoomIn()
{
    setStep(m_step + 1);
}

void ViewZoom::zoomOut()
{
    setStep(m_step - 1);
}

void ViewZoom::reset()
{
    setStep(0);
}

void ViewZoom::setStep(int step)
{
    m_step = qBound(kSmallest, step, kLargest);
    for (const View& v : std::as_const(m_views)) {
        if (!v.view)
            continue;
        auto* table = qobject_cast<QTableView*>(v.view.data());
        const int before = v.view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        v.view->setFont(scaled(v.font, m_step));
        if (!table)
            continue;
        table->horizontalHeader()->setFont(scaled(v.header, m_step));
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
        // Each column keeps its width in characters, as the user left it.
        const int after = table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        for (int c = 0; before > 0 && c < table->model()->columnCount(); ++c)
            table->setColumnWidth(c, qMax(8, int(std::lround(double(table->columnWidth(c)) * after / before))));
    }
}

bool ViewZoom::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int delta = wheel->angleDelta().y();
            if (delta > 0)
                zoomIn();
            else if (delta < 0)
                zoomOut();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
