#pragma once

#include <QProcess>
#include <QString>

// Runs sql on a database file in another process, the sqlite3 shell, as another
// program sharing the database would. Returns the shell's error output; empty when
// it succeeded.
QString runInOtherProgram(const QString& databaseFile, const QString& sql);

// Another program, the sqlite3 shell, that holds a transaction open on a database
// file until release() or destruction: "BEGIN IMMEDIATE" keeps writers out,
// "BEGIN EXCLUSIVE" readers too.
class HeldTransaction
{
public:
    HeldTransaction(const QString& databaseFile, const QString& begin);
    ~HeldTransaction();
    HeldTransaction(const HeldTransaction&) = delete;
    HeldTransaction& operator=(const HeldTransaction&) = delete;

    // Empty once the other program holds its lock; otherwise why it does not.
    const QString& error() const { return m_error; }
    // Rolls the transaction back and ends the other program.
    void release();

private:
    QString m_file;
    QProcess m_shell;
    QString m_error;
};
