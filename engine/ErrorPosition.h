#pragma once

#include <QByteArrayView>
#include <QString>

// Where an engine's error points in a statement's text, turned into an index of the
// text as the program holds it (UTF-16), whatever unit the engine counted in.
namespace ErrorPosition
{

// The index in the text of the byte at byteOffset of its UTF-8 form (SQLite counts in
// bytes); -1 when byteOffset is negative. An offset past the end gives the text's size.
qsizetype fromUtf8Offset(QByteArrayView utf8, qsizetype byteOffset);

// The index of the character that lies `characters` code points after index `from`
// (PostgreSQL counts in characters); a surrogate pair is one character.
qsizetype afterCharacters(const QString& text, qsizetype from, qsizetype characters);

// The place of the token that the message quotes as near "…" (SQLite, and servers
// reached through ODBC: at or near "…"), at its first occurrence in sql; -1 when the
// message quotes none or the token is not in sql.
qsizetype nearToken(const QString& message, const QString& sql);

} // namespace ErrorPosition
