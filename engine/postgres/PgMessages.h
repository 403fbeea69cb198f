#pragma once

#include <QByteArray>
#include <QString>

struct pg_result;

// The texts of what failed on a PostgreSQL session, as the user reads them.
namespace PgMessages
{

// One line per error of libpq's text: a continuation line (indented) joins the line
// it continues, and a line given twice shows once.
QString oneLinePerError(const QByteArray& text);
// The session with the server is gone, and libpq says nothing more.
QString lost();
// A result's error: the server's primary message, or libpq's own text.
QString errorOf(const pg_result* r);

} // namespace PgMessages
