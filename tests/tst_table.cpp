#include "OtherProgram.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "platform/Exceptions.h"

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
    void postChecksRecordStillHoldsWhatWasRead_data();
    void postChecksRecordStillHoldsWhatWasRead();
    void postInsideOpenTransactionWaitsForItsCommit();
    void refreshShowsStoredValuesOfUnsetFields();
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
    QVERIFY2(failure.message.startsWith(QStringLiteral("database is locked\nUn autre poste")), qPrintable(failure.message));
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

namespace
{
QByteArray hexOf(const CellRef& cell)
{
    return QByteArray(cell.data, cell.size).toHex().toUpper();
}
} // namespace

void TestTable::postChecksRecordStillHoldsWhatWasRead_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("shape"); // statements that make ListBase another kind of relation
    const QByteArray typed = QByteArray("S1\r\nS2\r\n").toHex().toUpper();
    QTest::newRow("nobody else wrote") << "'S1'"
                                       << ""
                                       << "" << typed << ";" << QString();
    QTest::newRow("another program appended a statement")
        << "'S1'"
        << "UPDATE ListBase SET TTTYPES = TTTYPES || 'S9'" << recordChangedMessage()
        << QByteArray("S1S9").toHex().toUpper() << ";" << QString();
    QTest::newRow("another program changed the separator") << "'S1'"
                                                           << "UPDATE ListBase SET POLICE5 = '#@'"
                                                           << "" << typed << "#@" << QString();
    QTest::newRow("another program wrote the same text") << "'S1'"
                                                         << "UPDATE ListBase SET TTTYPES = 'S1'"
                                                         << "" << typed << ";" << QString();
    QTest::newRow("another program stored the text as a blob")
        << "'S1'"
        << "UPDATE ListBase SET TTTYPES = CAST('S1' AS BLOB)" << recordChangedMessage()
        << QByteArray("S1").toHex().toUpper() << ";" << QString();
    QTest::newRow("another program deleted the record")
        << "'S1'"
        << "DELETE FROM ListBase" << recordGoneMessage() << QByteArray() << "" << QString();
    QTest::newRow("ill-formed stored text compares byte for byte") << "CAST(X'5331C0BC' AS TEXT)"
                                                                   << ""
                                                                   << "" << typed << ";" << QString();
    QTest::newRow("another ill-formed byte is a change")
        << "CAST(X'5331C0BC' AS TEXT)"
        << "UPDATE ListBase SET TTTYPES = CAST(X'5331C0BD' AS TEXT)" << recordChangedMessage() << QByteArray("5331C0BD")
        << ";" << QString();
    const QString withoutRowid = QStringLiteral(
        "CREATE TABLE lb (TTTYPES TEXT, POLICE5 VARCHAR(20) PRIMARY KEY) WITHOUT ROWID;"
        "INSERT INTO lb SELECT * FROM ListBase; DROP TABLE ListBase; ALTER TABLE lb RENAME TO ListBase");
    // A view that a trigger makes writable, over a table that may hold the same row twice.
    const QString view = QStringLiteral(
        "ALTER TABLE ListBase RENAME TO lb; CREATE VIEW ListBase AS SELECT * FROM lb;"
        "CREATE TRIGGER lb_update INSTEAD OF UPDATE ON ListBase BEGIN UPDATE lb SET TTTYPES = NEW.TTTYPES,"
        " POLICE5 = NEW.POLICE5 WHERE TTTYPES IS OLD.TTTYPES AND POLICE5 IS OLD.POLICE5; END");
    QTest::newRow("table without rowid, nobody else wrote") << "'S1'"
                                                            << ""
                                                            << "" << typed << ";" << withoutRowid;
    QTest::newRow("table without rowid, another program appended a statement")
        << "'S1'"
        << "UPDATE ListBase SET TTTYPES = TTTYPES || 'S9'" << recordGoneMessage()
        << QByteArray("S1S9").toHex().toUpper() << ";" << withoutRowid;
    QTest::newRow("view, nobody else wrote") << "'S1'"
                                             << ""
                                             << "" << typed << ";" << view;
    QTest::newRow("view, two records hold the same values")
        << "'S1'"
        << "INSERT INTO lb SELECT * FROM lb" << recordNotUniqueMessage() << QByteArray("S1").toHex().toUpper() << ";"
        << view;
}

void TestTable::postChecksRecordStillHoldsWhatWasRead()
{
    QFETCH(QString, stored);
    QFETCH(QString, other);
    QFETCH(QString, message);
    QFETCH(QByteArray, list);
    QFETCH(QString, separator);
    QFETCH(QString, shape);
    TestDatabase db;
    db.exec(QStringLiteral("UPDATE ListBase SET TTTYPES = %1").arg(stored));
    if (!shape.isEmpty())
        db.exec(shape);
    QObject owner;
    TTable* t = openTable(&owner);
    t->edit();
    TField* tttypes = t->FieldByName(QStringLiteral("TTTYPES"));
    tttypes->setAsString(QStringLiteral("S1\r\nS2\r\n"));
    if (!other.isEmpty())
        QCOMPARE(runInOtherProgram(db.path(), other), QString());
    const Raised failure = raised([&] { t->post(); });
    QCOMPARE(failure.message, message);
    QCOMPARE(db.value(QStringLiteral("SELECT hex(TTTYPES) FROM ListBase")).toByteArray(), list);
    QCOMPARE(db.value(QStringLiteral("SELECT POLICE5 FROM ListBase")).toString(), separator);
    if (message.isEmpty()) {
        QCOMPARE(t->state(), TDataSet::dsBrowse);
        return;
    }
    // Refused: the edit goes on with the user's text; cancelling shows what is stored now.
    QCOMPARE(t->state(), TDataSet::dsEdit);
    QCOMPARE(tttypes->asString(), QStringLiteral("S1\r\nS2\r\n"));
    t->cancel();
    QCOMPARE(t->state(), TDataSet::dsBrowse);
    if (t->recordCount() > 0)
        QCOMPARE(hexOf(t->FieldByName(QStringLiteral("TTTYPES"))->cell()), list);
}

void TestTable::postInsideOpenTransactionWaitsForItsCommit()
{
    TestDatabase db;
    QObject owner;
    TTable* t = openTable(&owner);
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("BEGIN"));
    QCOMPARE(raised([&] { q.open(); }).message, noCursorMessage());
    t->edit();
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1"));
    t->post();
    QCOMPARE(t->FieldByName(QStringLiteral("TTTYPES"))->asString(), QStringLiteral("S1"));
    QCOMPARE(db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QString());
    q.setSQL(QStringLiteral("COMMIT"));
    QCOMPARE(raised([&] { q.open(); }).message, noCursorMessage());
    QCOMPARE(db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QStringLiteral("S1"));
}

void TestTable::refreshShowsStoredValuesOfUnsetFields()
{
    TestDatabase db;
    QObject owner;
    TTable* t = openTable(&owner);
    // Reading the table again replaces its fields: each read looks the field up.
    const auto separator = [t] { return t->FieldByName(QStringLiteral("POLICE5")); };
    QCOMPARE(runInOtherProgram(db.path(), QStringLiteral("UPDATE ListBase SET POLICE5 = '#@'")), QString());
    t->refresh();
    QCOMPARE(separator()->text(), QStringLiteral("#@"));
    // A statement of this program, on the same connection.
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("UPDATE ListBase SET POLICE5 = '|'"));
    QCOMPARE(raised([&] { q.open(); }).message, noCursorMessage());
    t->refresh();
    QCOMPARE(separator()->text(), QStringLiteral("|"));
    // While the record is edited, the field set keeps its value.
    t->edit();
    t->FieldByName(QStringLiteral("TTTYPES"))->setAsString(QStringLiteral("S1"));
    QCOMPARE(
        runInOtherProgram(db.path(), QStringLiteral("UPDATE ListBase SET POLICE5 = ',', TTTYPES = 'X'")), QString());
    t->refresh();
    QCOMPARE(separator()->text(), QStringLiteral(","));
    QCOMPARE(t->FieldByName(QStringLiteral("TTTYPES"))->asString(), QStringLiteral("S1"));
    QCOMPARE(t->state(), TDataSet::dsEdit);
}

QTEST_MAIN(TestTable)
#include "tst_table.moc"
