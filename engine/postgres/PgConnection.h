#pragma once

#include "engine/Connection.h"
#include "engine/postgres/PgSession.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <vector>

struct AliasSettings;

// A PostgreSQL server as the program's engine: statements through a PgSession,
// several in one text applied all or none, and the rows of a table written back
// in a transaction once they are found still holding what was read.
class PgConnection : public Connection
{
public:
    // Connects as the alias says; throws EDatabaseError with the server's message.
    explicit PgConnection(const AliasSettings& settings);

    QueryResult execute(
        const QString& sql, const ProgressCallback& progress = {}, const BoundParameters& parameters = {}) override;
    bool isReadOnly() const override { return m_session.readOnly(); }
    std::vector<CatalogueTable> catalogue() override;
    bool unquotedNamesFoldToLower() const override { return true; }
    bool inTransaction() override { return m_session.inTransaction(); }
    void endTransaction(bool commit) override;
    TableResult openTable(const QString& table) override;
    void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) override;
    void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) override;
    // A server does not say cheaply whether it changed: the marks are never known.
    ChangeMark changeMark() override { return {}; }

private:
    // Runs work in a transaction (a savepoint inside one already open) that a failure
    // rolls back; a server that refuses the write to this role or session says so as
    // a read-only data set does.
    void write(const std::function<void()>& work);
    // The condition that finds the row with key; its values join parameters.
    QString whereKey(const QString& table, const QVariantList& key, std::vector<PgValues::Parameter>& parameters) const;
    // The table's name as statements write it: the name resolveTable found, or as
    // a statement would name it.
    QString quotedTable(const QString& table) const;
    // Finds the table that a name means and remembers it.
    QString resolveTable(const QString& table);

    PgSession m_session;
    // Per table: what finds a row again, as statements write it: its primary key's
    // columns, its place (ctid) or the text of all its values.
    QHash<QString, QStringList> m_keyColumns;
    // Per table name: the name as statements write it (see resolveTable).
    QHash<QString, QString> m_tableNames;
};
