#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Lists of "key=value" pairs separated by ";": an ODBC connection string
// ("DRIVER={PostgreSQL Unicode};SERVER=db;PWD={a;b}"), the options of an alias
// ("connect_timeout=5;sslmode=require"). A value in braces (ODBC's quoting, "}}" for a
// brace) or in double quotes may hold ";". Keys match without regard to letter case or
// surrounding blanks.
namespace KeyValueList
{

struct Entry {
    QString key; // as written, without its blanks
    QString value; // without its quotes
    qsizetype start = 0; // the pair's place in the list
    qsizetype length = 0;
};

[[nodiscard]] QList<Entry> entries(const QString& list);

// The value of the first of keys that the list holds; nothing when none.
[[nodiscard]] std::optional<QString> value(const QString& list, const QStringList& keys);

// The list without the pairs of keys; removed, when given, gets the keys taken out, as written.
[[nodiscard]] QString without(const QString& list, const QStringList& keys, QStringList* removed = nullptr);

// True when an ODBC connection string names PostgreSQL's driver (DRIVER={PostgreSQL
// Unicode}, or any driver whose name says postgres).
[[nodiscard]] bool namesPostgresDriver(const QString& connection);

// The list with key=value added at its end.
[[nodiscard]] QString with(const QString& list, const QString& key, const QString& value);

} // namespace KeyValueList
