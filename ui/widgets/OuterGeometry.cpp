#include "ui/widgets/OuterGeometry.h"

#include <QEvent>
#include <QWidget>

namespace
{
QMargins frameOf(const QWidget* window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return { inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom() };
}
} // namespace

OuterGeometry::OuterGeometry(QWidget* window, const QRect& outer)
    : QObject(window)
    , m_window(window)
    , m_outer(outer)
    , m_frame([window] { return frameOf(window); })
{
    setObjectName(QStringLiteral("OuterGeometry"));
    // Placed by its frame: a window manager that frames the window once it is shown
    // then moves it, which tells the frame's widths.
    m_window->resize(outer.size());
    m_window->move(outer.topLeft());
    m_window->installEventFilter(this);
}

QRect OuterGeometry::clientRect(const QRect& outer, const QMargins& frame)
{
    return outer.marginsRemoved(frame);
}

void OuterGeometry::setFrameReader(std::function<QMargins()> reader)
{
    m_frame = std::move(reader);
}

bool OuterGeometry::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            fit();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void OuterGeometry::fit()
{
    // A maximised window's frame is the window manager's business.
    if (!m_window->isVisible() || (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QMargins frame = m_frame();
    if (m_fitted == frame)
        return;
    m_fitted = frame;
    const QRect client = clientRect(m_outer, frame);
    if (m_window->geometry() != client)
        m_window->setGeometry(client);
}
