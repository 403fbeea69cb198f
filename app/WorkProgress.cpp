#include "app/WorkProgress.h"

#include "platform/VectorState.h"

#include <QApplication>
#include <QProgressDialog>
#include <limits>

WorkProgress::WorkProgress(QWidget* parent, const QString& title, const QString& label, Describe describe)
    : m_parent(parent)
    , m_title(title)
    , m_label(label)
    , m_describe(std::move(describe))
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_waitCursor = true;
    m_clock.start();
    ++s_running;
    // The window's code that ran before may have left the vector registers in the
    // state that slows the work down (see VectorState).
    VectorState::clearUpper();
}

WorkProgress::~WorkProgress()
{
    --s_running;
    restoreCursor();
}

void WorkProgress::restoreCursor()
{
    if (m_waitCursor) {
        QApplication::restoreOverrideCursor();
        m_waitCursor = false;
    }
}

bool WorkProgress::check(qint64 done, qint64 total)
{
    // Reports less than a millisecond apart are a row's each: the next 15 go unchecked.
    const qint64 now = m_clock.nsecsElapsed();
    m_skip = now - m_lastCheckNs < 1000000 ? 15 : 0;
    m_lastCheckNs = now;
    if (now / 1000000 < m_nextTick)
        return !m_cancelled;
    return tick(done, total);
}

bool WorkProgress::tick(qint64 done, qint64 total)
{
    // Once cancelled, the dialog (hidden by its button) stays hidden until the work ends.
    if (m_cancelled)
        return false;
    if (!m_dialog && m_clock.elapsed() >= kShowAfterMs)
        createDialog();
    if (m_dialog) {
        // The bar counts in int: a total beyond it is scaled down.
        const qint64 scale = total > std::numeric_limits<int>::max() ? total / std::numeric_limits<int>::max() + 1 : 1;
        m_dialog->setMaximum(int(total / scale));
        m_dialog->setValue(int(qMin(done, total) / scale));
        m_dialog->setLabelText(m_describe ? m_label + QLatin1Char('\n') + m_describe(done, total) : m_label);
        if (!m_dialog->isVisible()) {
            // The dialog is the sign of life from now on, and its button must look clickable.
            restoreCursor();
            m_dialog->show();
        }
        QCoreApplication::processEvents();
        m_cancelled = m_dialog->wasCanceled();
    } else {
        // The windows repaint, but no click or key reaches them before the dialog
        // that blocks them is there.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // The dialog's time is a tick of its own: a report due then shows it, not one up
    // to a tick later.
    const qint64 now = m_clock.elapsed();
    m_nextTick = !m_dialog && now < kShowAfterMs ? qMin(now + kTickMs, kShowAfterMs) : now + kTickMs;
    // The dialog's painting and the events ran Qt's code: the work goes on at the
    // processor's full pace only once the vector registers are clean again.
    VectorState::clearUpper();
    return !m_cancelled;
}

void WorkProgress::createDialog()
{
    m_dialog = std::make_unique<QProgressDialog>(m_label, QStringLiteral("Annuler"), 0, 0, m_parent);
    m_dialog->setWindowTitle(m_title);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setMinimumDuration(0);
}

QString WorkProgress::recordWritten(qint64 done, qint64 total)
{
    return QStringLiteral("Enregistrement %1 sur %2").arg(qMin(done + 1, total)).arg(total);
}
