#pragma once

#include "engine/Connection.h"

#include "engine/SqlStatements.h"
#include <QHash>

struct sqlite3;
struct sqlite3_stmt;

// The embedded database: a SQLite file through SQLite's C API. The connection is
// opened without the per-connection mutex (one thread uses it) and waits up to
// 5 seconds on a database that another program is writing.
class SqliteConnection : public Connection
{
public:
    // Opens an existing file; never creates one. readOnly opens it for reading only.
    SqliteConnection(const QString& fileName, bool readOnly);
    ~SqliteConnection() override;

    QueryResult execute(
        const QString& sql, const ProgressCallback& progress = {}, const BoundParameters& parameters = {}) override;
    bool isReadOnly() const override;
    QStringList databaseFiles() const override;
    bool fileReplaced() const override;
    std::vector<CatalogueTable> catalogue() override;
    bool inTransaction() override;
    void endTransaction(bool commit) override;
    TableResult openTable(const QString& table) override;
    void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) override;
    void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) override;
    // Commits of other connections (PRAGMA data_version), rows changed by this one,
    // and the schema's version.
    ChangeMark changeMark() override;

    // Maps a declared column type ("VARCHAR(40)", "MONEY", "DECIMAL(10,2)") to a field type.
    static ColumnInfo columnFromDeclaredType(const QString& name, const QString& declared);

private:
    // The engine's message of the last failure; a lock held elsewhere is named.
    QString errorMessage() const;
    [[noreturn]] void fail() const;
    // Fails with the engine's message, naming the statement when the text holds several;
    // position is where the engine points in the text run (see EDatabaseError).
    [[noreturn]] void failIn(int number, TextRun run, QByteArrayView statement, qsizetype position = -1) const;
    // Steps a statement to its end, its rows unread.
    void runToEnd(sqlite3_stmt* stmt, int number, TextRun run, const ProgressCallback& progress) const;
    // Reads every row of a statement, its columns typed by their declarations or values.
    QueryResult readResult(sqlite3_stmt* stmt, int number, TextRun run, const ProgressCallback& progress) const;
    void run(const QString& sql, const std::vector<FieldValue>& values);
    void exec(const char* sql);
    qint64 pragmaValue(const char* sql);
    // True when the table's rows have a rowid (not a view, nor a table WITHOUT ROWID).
    bool hasRowid(const QString& table);
    // The condition that finds key's row, and the values it binds after values.
    QString whereKey(const QString& table, const QVariantList& key, std::vector<FieldValue>& values) const;

    sqlite3* m_db = nullptr;
    // Per table without rowids: its columns, whose values find a row again.
    QHash<QString, QStringList> m_valueKeys;
};
