#pragma once

#include "engine/FieldType.h"
#include "engine/ResultStore.h"
#include "engine/StatementParameters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>
#include <vector>

// A column of a result as the engine describes it.
struct ColumnInfo {
    QString name;
    TFieldType type = ftUnknown;
    int size = 0; // declared size of a text column, scale of a decimal one
    int precision = 0; // precision of a decimal column
};

// What opening a statement yields: its columns and all of its rows.
struct QueryResult {
    std::vector<ColumnInfo> columns;
    // Shared with the exports that read it on other threads while the data set may drop it.
    std::shared_ptr<ResultStore> rows;
};

// The rows of a table with one key per row, which identifies the row when it is
// written back.
struct TableResult {
    QueryResult data;
    std::vector<QVariantList> keys;
    // The user may not write this table (a role that may only read it).
    bool readOnly = false;
};

// A value held apart from any result: a text keeps its stored bytes exactly, well
// formed or not.
struct FieldValue {
    CellClass cls = CellClass::Null;
    QByteArray bytes; // text (UTF-8 as stored) or blob
    qint64 integer = 0;
    double real = 0;

    static FieldValue of(const CellRef& cell)
    {
        FieldValue v;
        v.cls = cell.cls;
        v.integer = cell.integer;
        v.real = cell.real;
        if (cell.data)
            v.bytes = QByteArray(cell.data, cell.size);
        return v;
    }
    CellRef ref() const
    {
        CellRef c;
        c.cls = cls;
        c.integer = integer;
        c.real = real;
        c.data = bytes.constData();
        c.size = bytes.size();
        return c;
    }
    // The same class and the same value, byte for byte.
    bool sameAs(const CellRef& cell) const
    {
        if (cell.cls != cls)
            return false;
        switch (cls) {
        case CellClass::Null:
            return true;
        case CellClass::Integer:
            return cell.integer == integer;
        case CellClass::Float:
            return cell.real == real;
        case CellClass::Text:
        case CellClass::Blob:
            return QByteArrayView(cell.data, cell.size) == QByteArrayView(bytes);
        }
        return false;
    }
};

// A cell as a Qt value: a key that finds a row again, a value bound to a statement.
QVariant toVariant(const CellRef& cell);

// A column of a table or view in the catalogue.
struct CatalogueColumn {
    QString name;
    QString type; // as the engine declares it ("VARCHAR(40)", "integer"); empty when none
    int keyPosition = 0; // its place in the primary key, from 1; 0 when not in it
};

// A table or view the user can query, with its columns in their order.
struct CatalogueTable {
    QString name;
    QString schema; // where the engine groups tables in schemas (PostgreSQL); else empty
    bool view = false;
    // A statement reaches it by its name alone (PostgreSQL: its schema is on the
    // search path and no table of an earlier schema takes the name).
    bool reachedByName = true;
    std::vector<CatalogueColumn> columns;

    // How many columns make the primary key; 0 when there is none.
    int keyColumns() const;
};

// The catalogue as a query gives it, one row a column, the rows of one table together:
// schema, table, kind ("view" or "v" for a view), reached by name (1 or 0), column,
// declared type, place in the primary key (0 when not in it). Text or integer cells.
std::vector<CatalogueTable> catalogueFromRows(const QueryResult& rows);

// A field written back to a row: its value when the row was read, and the new one.
struct FieldChange {
    QString column;
    FieldValue before;
    FieldValue after;
};

// Tells whether a database may have changed since a moment: two marks taken from a
// connection differ when something was written in between, by this connection or
// another program. An engine that cannot tell gives marks that are not known.
struct ChangeMark {
    bool known = false;
    std::array<qint64, 3> parts {};
    bool operator==(const ChangeMark& other) const = default;
    // True when data read at `earlier` may be out of date now.
    bool changedSince(const ChangeMark& earlier) const { return !known || !earlier.known || *this != earlier; }
};

// The message of a post whose record another program changed since it was read.
inline QString recordChangedMessage()
{
    return QStringLiteral("L'enregistrement a été modifié par un autre utilisateur depuis sa lecture.");
}

// The message of a post whose record another program deleted.
inline QString recordGoneMessage()
{
    return QStringLiteral("Enregistrement introuvable : il a été modifié ou supprimé par un autre utilisateur");
}

// The message of a post whose record cannot be told from another one: found by all its
// values, it is not the only record that holds them.
inline QString recordNotUniqueMessage()
{
    return QStringLiteral(
        "Enregistrement non modifié : un autre enregistrement de la table contient exactement les mêmes valeurs");
}

// Watches a statement while it runs. The engine calls it from time to time with the
// number of rows read so far, also while it works before the first row (a sort); it
// must return quickly. Returning false stops the statement, which then throws
// EDatabaseError(cancelledMessage()) and keeps nothing of its result. The window
// drives it as all long work (app/WorkProgress.h).
using ProgressCallback = std::function<bool(qint64 rowsRead)>;

// The message of a write to a database or table that may only be read.
inline QString readOnlyMessage()
{
    return QStringLiteral("Ne peut modifier un ensemble de données en lecture seule");
}

// The message of a statement stopped by the user.
inline QString cancelledMessage()
{
    return QStringLiteral("Requête interrompue par l'utilisateur");
}

// A connection to a database. Three implementations: the embedded SQLite file,
// PostgreSQL servers reached through libpq, and the databases reached through Qt SQL
// (ODBC). Every failure throws EDatabaseError with the engine's own message.
class Connection
{
public:
    virtual ~Connection() = default;

    // Runs the statements of sql in order; the last one must yield a result set,
    // which is read whole. A statement without a result set is executed, then
    // "Erreur à la création du handle de curseur" is thrown. Several statements
    // apply all or none: when one fails, those before it are undone and the error
    // names the statement. A text that manages its own transactions runs as written.
    // `progress`, when set, is called while the statement runs (see ProgressCallback).
    // `parameters` are bound through the engine's own binding, each in the statement
    // it stands in: their values never become part of the statement's text.
    virtual QueryResult execute(
        const QString& sql, const ProgressCallback& progress = {}, const BoundParameters& parameters = {})
        = 0;

    // True when the database cannot be written (a read-only file or alias).
    virtual bool isReadOnly() const = 0;

    // The files on this machine that hold the database while it is open (its file,
    // journal and write-ahead log), whether they exist now or not; none for a server.
    virtual QStringList databaseFiles() const { return {}; }

    // True when the database's file was deleted, or another file took its name, since
    // the connection opened it: the connection still reads the file it opened, which
    // is no longer the one its name reaches. Never for a server.
    virtual bool fileReplaced() const { return false; }

    // The tables and views of the database's catalogue, the system's own left out, with
    // their columns, declared types and primary keys: what completion offers and the
    // table list shows. A table it cannot describe (a view whose table was dropped)
    // comes without columns rather than failing the whole.
    virtual std::vector<CatalogueTable> catalogue() = 0;
    // True when the engine reads a name written without quotes in small letters
    // (PostgreSQL): a name with capitals must then be quoted to mean itself.
    virtual bool unquotedNamesFoldToLower() const { return false; }

    virtual TableResult openTable(const QString& table) = 0;
    // Writes the changed fields of the row with key in one write transaction, once
    // each is found still holding its value `before`; otherwise nothing is written and
    // recordChangedMessage() is thrown (recordGoneMessage() when the row is gone).
    virtual void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) = 0;
    // Adds a row; the columns not named take their defaults.
    virtual void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) = 0;

    // True when a statement of the user's (BEGIN, SAVEPOINT, a batch holding one) left
    // a transaction open: its changes are kept only at its COMMIT, other programs may
    // be locked out until then, and closing the connection would undo them.
    virtual bool inTransaction() = 0;
    // Ends that transaction: commit keeps its changes, otherwise they are undone.
    // Throws EDatabaseError when the engine refuses, or when the server had already
    // given the transaction up after a failure (then nothing of it was kept).
    virtual void endTransaction(bool commit) = 0;

    // The mark of the database's present state (see ChangeMark).
    virtual ChangeMark changeMark() = 0;

    // The most memory that one result may hold (see ResultStore): a statement whose
    // result would need more stops with resultTooLargeMessage() and keeps nothing.
    // Half of the machine's physical memory unless set.
    qsizetype resultCeiling() const { return m_resultCeiling; }
    void setResultCeiling(qsizetype bytes) { m_resultCeiling = bytes; }

private:
    qsizetype m_resultCeiling = ResultStore::defaultCeiling();
};

// What the window says while the user's transaction is open.
inline QString openTransactionMessage()
{
    return QStringLiteral("Transaction ouverte : les modifications ne seront enregistrées qu'après COMMIT.");
}

// The message of a COMMIT that the server turned into a rollback: a statement of the
// transaction had failed, after which the server keeps nothing of it.
inline QString failedTransactionMessage()
{
    return QStringLiteral("La transaction avait échoué : le serveur l'a annulée, aucune de ses modifications "
                          "n'a été enregistrée.");
}

// The message of a statement that changed the session's client encoding, which the
// engine sets back to the one it reads and writes.
inline QString clientEncodingSetBackMessage(const QString& encoding)
{
    return QStringLiteral("VeloSQL échange avec le serveur en %1 : client_encoding est remis à %1.").arg(encoding);
}

// The message of a statement that yields no result set.
inline QString noCursorMessage()
{
    return QStringLiteral("Erreur à la création du handle de curseur");
}
