#pragma once

#include "engine/AliasSettings.h"
#include "engine/Connection.h"

#include <QString>
#include <memory>

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

// The alias's connection when it is open; none otherwise. Never opens one, nor asks
// for a login.
std::shared_ptr<Connection> opened(const QString& alias);

// The files of every open connection's database (see Connection::databaseFiles).
QStringList openFiles();

// Drops every open connection (tests; program end).
void closeAll();

} // namespace Databases
