#include "Databases.h"
#include "Exceptions.h"
#include "Query.h"
#include "Raised.h"
#include "Table.h"
#include "TestDatabase.h"

#include <QTest>
#include <sqlite3.h>

// The settings table: opened on its first record, record states, posting and
// cancelling, and databases that cannot be written.
class TestTable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void opensOnFirstRecordInBrowseState();
    void editPostCancelStates();
    void editOnEmptyTableInserts();
    void readOnlyAliasRefusesEditing();
    void lockedDatabaseReportsLockAfterWaiting();
    void tableNameDropsFileExtension();
};

namespace
{
TTable* openTable(QObject* owner)
{
    auto* t = new TTable(owner, QStringLiteral("TableSQL"));
    t->setDatabaseName(QStringLiteral("Velorin"));
    t->setTableName(QStringLiteral("ListBase.DB"));
    t->open();
    return t;
}
} // namespace

void TestTable::opensOnFirstRecordInBrowseState()
{
    TestDatabase db;
    db.exec(QStringLiteral("INSERT INTO ListBase VALUES ('second', ',')"));
    QObject owner;
    TTable* t = openTable(&owner);
    QCOMPARE(t->state(), TDataSet::dsBrowse);
    QCOMPARE(int(t->state()), 1);
    QCOMPARE(t->recNo(), qsizetype(0));
    QCOMPARE(t->FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral(";"));
    QVERIFY(t->canModify());
    t->close();
    QCOMPARE(int(t->state()), 0);
}

void TestTable::editPostCancelStates()
{
    TestDatabase db;
    QObject owner;
    TTable* t = openTable(&owner);
    t->edit();
    QCOMPARE(int(t->state()), 2);
    t->edit(); // no effect in edit state
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1\r\n"));
    QCOMPARE(t->FieldByName(QStringLiteral("TTTYPES"))->asString(), QStringLiteral("S1\r\n"));
    t->cancel();
    QCOMPARE(int(t->state()), 1);
    QCOMPARE(t->FieldByName(QStringLiteral("TTTYPES"))->asString(), QString());
    t->edit();
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S2"));
    t->post();
    QCOMPARE(int(t->state()), 1);
    QCOMPARE(db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QStringLiteral("S2"));
    QCOMPARE(db.value(QStringLiteral("SELECT POLICE5 FROM ListBase")).toString(), QStringLiteral(";"));
}

void TestTable::editOnEmptyTableInserts()
{
    TestDatabase db;
    db.exec(QStringLiteral("DELETE FROM ListBase"));
    QObject owner;
    TTable* t = openTable(&owner);
    QCOMPARE(t->recordCount(), qsizetype(0));
    t->edit();
    QCOMPARE(int(t->state()), 3);
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1"));
    t->post();
    QCOMPARE(t->recordCount(), qsizetype(1));
    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM ListBase")).toInt(), 1);
}

void TestTable::readOnlyAliasRefusesEditing()
{
    TestDatabase db;
    db.setReadOnly(true);
    QObject owner;
    TTable* t = openTable(&owner);
    QVERIFY(!t->canModify());
    const Raised failure = raised([&] { t->edit(); });
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message, QStringLiteral("Ne peut modifier un ensemble de données en lecture seule"));
    QCOMPARE(int(t->state()), 1);
    // Queries still read it.
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT POLICE5 FROM ListBase"));
    q.open();
    QCOMPARE(q.field(0)->asString(), QStringLiteral(";"));
}

void TestTable::lockedDatabaseReportsLockAfterWaiting()
{
    TestDatabase db;
    QObject owner;
    TTable* t = openTable(&owner);
    // Another program holds a write lock on the file.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    t->edit();
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1"));
    const Raised failure = raised([&] { t->post(); });
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message, QStringLiteral("database is locked"));
    QCOMPARE(int(t->state()), 2);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    t->post();
    QCOMPARE(db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QStringLiteral("S1"));
}

void TestTable::tableNameDropsFileExtension()
{
    TTable t;
    t.setTableName(QStringLiteral("ListBase.DB"));
    QCOMPARE(t.sqlTableName(), QStringLiteral("ListBase"));
    t.setTableName(QStringLiteral("Patients"));
    QCOMPARE(t.sqlTableName(), QStringLiteral("Patients"));
}

QTEST_MAIN(TestTable)
#include "tst_table.moc"
