#pragma once

#include "engine/AliasSettings.h"
#include "engine/Connection.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>

class QSqlDatabase;
struct SqlStatementScan;
enum class TextRun;

// A server database reached through a Qt SQL driver (ODBC, for one to a PostgreSQL
// server). When the session with the server is lost, the next statement opens a new
// one with the login that the server took, and runs again where the failure proves it
// did nothing.
class QtSqlConnection : public Connection
{
public:
    // Connects as the alias says; throws EDatabaseError with the driver's message.
    explicit QtSqlConnection(const AliasSettings& settings);
    ~QtSqlConnection() override;

    QueryResult execute(
        const QString& sql, const ProgressCallback& progress = {}, const BoundParameters& parameters = {}) override;
    bool isReadOnly() const override { return m_settings.readOnly; }
    std::vector<CatalogueTable> catalogue() override;
    bool unquotedNamesFoldToLower() const override;
    // ODBC does not say whether the server holds a transaction that a statement opened:
    // the statements' own first words tell (BEGIN, SAVEPOINT, COMMIT, ROLLBACK...).
    bool inTransaction() override { return m_transactionOpen; }
    void endTransaction(bool commit) override;
    TableResult openTable(const QString& table) override;
    void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) override;
    void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) override;
    // A server does not say cheaply whether it changed: the marks are never known.
    ChangeMark changeMark() override { return {}; }

private:
    QSqlDatabase database() const;
    // Opens a new session; a failure throws loss (when given) over the server's refusal.
    void reopen(const QString& loss);
    // Runs work in an open session. When the session is found lost, opens a new one
    // and, if repeatable and the failure proves work did nothing, runs it once more.
    void inSession(const std::function<void()>& work, bool repeatable);
    // Throws LostSession when the server has ended the session meanwhile.
    void probe();
    QueryResult run(const QString& sql, const ParameterPlaces& places, const SqlStatementScan& scan,
        const ProgressCallback& progress);
    // Runs sql whole, its placeholders bound to values; the last result set it gives, if any.
    std::optional<QueryResult> runText(
        const QString& sql, const QVariantList& values, const ProgressCallback& progress);
    // After a statement of a PostgreSQL session that may have changed its client
    // encoding: sets it back to UTF-8 and throws to say so.
    void keepClientEncoding(const QString& sql);
    // Runs each statement on its own, so that a failure names its statement and, for a
    // text run as written, tells which ones were applied.
    std::optional<QueryResult> runEach(
        const QString& sql, const ParameterPlaces& places, const ProgressCallback& progress, TextRun run);
    void writeRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes);
    void addRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values);

    // The table's name as statements write it: the exact name when the database has a
    // table or view of that name, else a plain name as the server folds it.
    QString resolveTable(const QString& table) const;
    // The name that resolveTable found when the table was opened.
    QString quotedTable(const QString& table) const;
    // The condition that finds the row with key, and the values it binds.
    QString whereKey(const QString& table, const QVariantList& key, QVariantList& bound) const;

    QString m_name;
    AliasSettings m_settings; // with the login that the server took
    bool m_odbc;
    QHash<QString, QStringList> m_keyColumns;
    // Per table name: the name as statements write it (see resolveTable).
    QHash<QString, QString> m_tableNames;
    bool m_transactionOpen = false;
};
