#pragma once

#include "database/Connection.h"

#include <QString>
#include <memory>

// How an alias resolves: a section of aliases.ini in the application's
// configuration folder, or, with no section, the embedded SQLite file
// <alias>.sqlite in the application's data folder.
struct AliasSettings {
    QString alias;
    bool configured = false; // a section of aliases.ini names it
    QString driver; // "SQLITE", or a Qt SQL driver name ("QPSQL", "QODBC", ...)
    QString database; // file path or server database name
    QString host;
    int port = -1;
    QString user;
    QString password;
    bool hasPassword = false;
    // Why a password written in aliases.ini is not used; empty when it is, or when
    // there is none.
    QString passwordNotice;
    QString options;
    bool readOnly = false;
};

namespace Databases
{

// The file of alias sections.
QString aliasesFile();
// The embedded default database of an alias without a section.
QString defaultDatabaseFile(const QString& alias);

AliasSettings resolve(const QString& alias);

// The alias's connection, opened at the first use and shared by every data set
// that names the alias. Throws EDatabaseError when the database cannot be opened.
std::shared_ptr<Connection> connect(const QString& alias);

// The files of every open connection's database (see Connection::databaseFiles).
QStringList openFiles();

// Drops every open connection (tests; program end).
void closeAll();

} // namespace Databases
