#pragma once

#include <QString>

// Runs sql on a database file in another process, the sqlite3 shell, as another
// program sharing the database would. Returns the shell's error output; empty when
// it succeeded.
QString runInOtherProgram(const QString& databaseFile, const QString& sql);
