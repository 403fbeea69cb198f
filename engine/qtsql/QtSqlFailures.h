#pragma once

#include "platform/Exceptions.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>


// What a Qt SQL driver's failures say, read once for the connection's statement half
// and its table half.
namespace QtSqlFailures
{

// The server's message, one line per error of its chain, without the lines that
// drivers add and that say nothing more.
QString errorText(const QSqlError& e);

// A statement that failed because the session with the server is gone: the server
// ended it (it stopped or restarted) or the line broke. neverRan tells that the
// failure proves the statement did nothing: the driver did not send it. (A server's
// farewell reads the same before a statement and during one: the connection looks for
// it before it sends the statement.)
class LostSession : public EDatabaseError
{
public:
    LostSession(const QString& message, bool neverRan)
        : EDatabaseError(message)
        , neverRan(neverRan)
    {
    }
    bool neverRan;
};

// A statement that the driver or the server refused, as against a stop or a result
// refused by the program itself.
class DriverFailure : public EDatabaseError
{
public:
    explicit DriverFailure(const QString& message)
        : EDatabaseError(message)
    {
    }
};

// Throws the failure of a statement on driver: LostSession when the session is gone,
// DriverFailure otherwise.
[[noreturn]] void fail(const QSqlError& e, const QSqlDriver* driver);

// Prepares sql on db, binds values in order and runs it; throws as fail() does.
QSqlQuery runBound(QSqlDatabase& db, const QString& sql, const QVariantList& values);

// The driver's transaction, where it has one: committed on request, rolled back
// when left otherwise.
class DriverTransaction
{
public:
    DriverTransaction(QSqlDatabase& db, bool wanted)
        : m_db(db)
        , m_open(wanted && db.driver()->hasFeature(QSqlDriver::Transactions) && db.transaction())
    {
    }
    ~DriverTransaction()
    {
        if (m_open)
            m_db.rollback();
    }
    DriverTransaction(const DriverTransaction&) = delete;
    DriverTransaction& operator=(const DriverTransaction&) = delete;

    bool open() const { return m_open; }
    // A refused commit throws what, followed by the driver's text.
    void commit(const QString& what)
    {
        if (!m_open)
            return;
        m_open = false;
        if (!m_db.commit()) {
            const QString message = what + QLatin1Char('\n') + errorText(m_db.lastError());
            m_db.rollback();
            throw EDatabaseError(message);
        }
    }

private:
    QSqlDatabase& m_db;
    bool m_open;
};

} // namespace QtSqlFailures
