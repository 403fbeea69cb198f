#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

// Long work: every operation that may outlast a blink (running a statement, saving
// the result, printing it) keeps this one contract.
//
// - Reporting. The operation takes a progress callback, told what was done (and of
//   how much, when known) and returning false to stop, and calls it often: every row
//   is fine. The window that starts the operation creates a WorkProgress on its stack
//   around the call and hands the callback on to report().
//   Events go through inside report(): a walk over a data set's records goes through
//   DataSetWalk, which takes its place back after each report.
// - Cancelling. "Annuler" makes report() return false, and keeps it false; the
//   operation stops at that report. A stopped operation leaves everything as it was:
//   a statement fails with cancelledMessage() and keeps no result, an export leaves
//   every target as it was, a print job is aborted and prints nothing. The user asked
//   for the stop: only the statement says so, as its error. A pipe or a device that
//   stops taking what is written is waited for through the same report(), so that
//   "Annuler" acts there too; that stop fails with a message, since the reader got
//   part of the data (AtomicFile::setStallWait).
// - The window meanwhile. Nothing for half a second but the wait cursor; then a modal
//   dialog with the label, what was done so far and "Annuler". No click or key reaches
//   a window before the work ends, and the window refuses to close while running().
// - Failure. An error leaves the operation as a stop does, with nothing half done;
//   its exception passes through the WorkProgress, which takes its dialog away, to
//   the handler's guard, which shows it.
//
// The window's thread drives the work: a result being read stays inside the engine
// until it is whole, and no click reaches a window meanwhile, so no handler meets it
// half read. What runs on the cores meanwhile (export pieces, sort parts, an ODBC
// statement) runs beside it through platform/SideWork, whose contract says what such
// work may touch; progress, this dialog and "Annuler" stay on the window's thread.
// Events are let through at most every
// 50 ms: before the dialog is shown, without the user's input; once it is shown, all
// of them, the dialog blocking the windows behind it.
class WorkProgress
{
public:
    // The second line of the dialog: what was done of how much (total 0: not known).
    using Describe = std::function<QString(qint64 done, qint64 total)>;

    WorkProgress(QWidget* parent, const QString& title, const QString& label, Describe describe = {});
    ~WorkProgress();
    WorkProgress(const WorkProgress&) = delete;
    WorkProgress& operator=(const WorkProgress&) = delete;

    // Tells the work done so far, out of total (0 when not known: the bar then only
    // shows activity). False once the user pressed "Annuler": the work stops.
    bool report(qint64 done, qint64 total = 0)
    {
        // Reports that come a row at a time read the clock at every 16th only, so
        // that a report costs a count; reports further apart read it every time.
        if (m_skip > 0) {
            --m_skip;
            return !m_cancelled;
        }
        return check(done, total);
    }

    // A Describe for walks over records: "Enregistrement 12 sur 3400", the record
    // being written.
    static QString recordWritten(qint64 done, qint64 total);

    // True while some work reports through a WorkProgress: a window must not close
    // under it (a close request from the window manager is not user input, so it
    // comes through before the dialog shows).
    static bool running() { return s_running > 0; }
    // The dialog, once shown (tests find it through its parent too).
    QProgressDialog* dialog() const { return m_dialog.get(); }

    // How long work runs before the dialog shows, and how often events go through.
    static constexpr qint64 kShowAfterMs = 500;
    static constexpr qint64 kTickMs = 50;

private:
    // Reads the clock, and ticks when a tick is due.
    bool check(qint64 done, qint64 total);
    bool tick(qint64 done, qint64 total);
    void createDialog();
    void restoreCursor();

    QWidget* m_parent;
    QString m_title;
    QString m_label;
    Describe m_describe;
    QElapsedTimer m_clock;
    qint64 m_nextTick = 0;
    int m_skip = 0;
    qint64 m_lastCheckNs = 0;
    bool m_cancelled = false;
    bool m_waitCursor = false;
    std::unique_ptr<QProgressDialog> m_dialog;
    static inline int s_running = 0;
};
