#include "OtherProgram.h"

#include <QProcess>

QString runInOtherProgram(const QString& databaseFile, const QString& sql)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
        { QStringLiteral("-bail"), QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), databaseFile, sql });
    if (!shell.waitForStarted())
        return QStringLiteral("sqlite3: ") + shell.errorString();
    shell.waitForFinished();
    const QString errors = QString::fromUtf8(shell.readAllStandardError());
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return errors.isEmpty() ? QStringLiteral("sqlite3 failed") : errors;
    return {};
}
