#include "OtherProgram.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <sqlite3.h>

namespace
{
// The sqlite3 shell, or the tests' stand-in for it where the system has none.
QString shellProgram()
{
#ifdef VELOSQL_SQLITE_SHELL
    return QStringLiteral(VELOSQL_SQLITE_SHELL);
#else
    return QStringLiteral("sqlite3");
#endif
}
} // namespace

QString runInOtherProgram(const QString& databaseFile, const QString& sql)
{
    QProcess shell;
    shell.start(shellProgram(),
        { QStringLiteral("-bail"), QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), databaseFile, sql });
    if (!shell.waitForStarted())
        return QStringLiteral("sqlite3: ") + shell.errorString();
    shell.waitForFinished();
    const QString errors = QString::fromUtf8(shell.readAllStandardError());
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return errors.isEmpty() ? QStringLiteral("sqlite3 failed") : errors;
    return {};
}

namespace
{
// True when a connection of this process cannot start a write transaction at once.
bool writeLockTaken(const QString& databaseFile)
{
    sqlite3* probe = nullptr;
    if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &probe, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(probe);
        return false;
    }
    const bool taken = sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_BUSY;
    sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(probe);
    return taken;
}
} // namespace

HeldTransaction::HeldTransaction(const QString& databaseFile, const QString& begin)
    : m_file(databaseFile)
{
    m_shell.setProcessChannelMode(QProcess::MergedChannels);
    // It waits for the lock, should this process hold it for a moment.
    m_shell.start(shellProgram(),
        { QStringLiteral("-bail"), QStringLiteral("-cmd"), QStringLiteral(".timeout 10000"), databaseFile });
    if (!m_shell.waitForStarted()) {
        m_error = QStringLiteral("sqlite3: ") + m_shell.errorString();
        return;
    }
    m_shell.write(begin.toUtf8() + ";\n");
    m_shell.waitForBytesWritten();
    // The shell answers nothing to a statement that succeeds: the lock shows from here.
    QElapsedTimer waited;
    waited.start();
    while (!writeLockTaken(databaseFile)) {
        if (m_shell.state() != QProcess::Running || waited.elapsed() > 30000) {
            m_error = QStringLiteral("sqlite3 took no lock: ") + QString::fromUtf8(m_shell.readAll());
            return;
        }
        QThread::msleep(20);
    }
}

HeldTransaction::~HeldTransaction()
{
    release();
}

void HeldTransaction::release()
{
    if (m_shell.state() == QProcess::NotRunning)
        return;
    m_shell.write("ROLLBACK;\n.quit\n");
    m_shell.closeWriteChannel();
    if (!m_shell.waitForFinished(30000))
        m_shell.kill();
    m_shell.waitForFinished();
}
