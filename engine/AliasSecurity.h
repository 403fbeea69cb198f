#pragma once

#include <QString>

struct AliasSettings;

// What keeps an alias's secrets secret: a password that others may read is not used,
// and a link off this machine is encrypted unless the alias says otherwise.
namespace AliasSecurity
{

// True when host names this machine: empty (the server's local socket), a socket
// folder ("/run/postgresql", "@abstract"), localhost, 127.0.0.0/8 or ::1. A list of
// hosts ("a,b", libpq's failover form) is local when each of them is.
[[nodiscard]] bool isLocalHost(const QString& host);

// True when group or other users may read, write or run file. Windows guards files with
// access lists that the permission bits do not show: there the file's folder, the
// user's own profile, keeps others out.
[[nodiscard]] bool othersMayRead(const QString& file);

// Sets aside every password that s holds from file (the key password, a password= in
// its options, an ODBC connection string's PWD= or Password=) when others may read
// file; s.passwordNotice then says which ones and how to keep them.
void setAsideReadablePasswords(AliasSettings& s, const QString& file);

// For a PostgreSQL server off this machine that s says nothing of TLS for: asks for
// an encrypted link (sslmode=require; verify-full when a root certificate is named)
// and keeps in s.noTlsRefusal what to say when the server has none. The same for an
// ODBC connection string that names PostgreSQL's driver (its SSLmode keyword).
void encryptByDefault(AliasSettings& s, const QString& file);

// True when a connection's failure says that the server offers no TLS.
[[nodiscard]] bool saysNoTls(const QString& message);

} // namespace AliasSecurity
