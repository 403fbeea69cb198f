#include "OtherProgram.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "engine/Databases.h"
#include "engine/qtsql/QtSqlConnection.h"

#include <QSqlDatabase>
#include <QTest>

// The connection through a Qt SQL driver, as the servers use it, run here on Qt's own
// SQLite driver with another program writing to the same file.
class TestQtSqlConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initTestEnvironment();
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
            QSKIP("needs Qt's SQLite driver (QSQLITE)");
    }

    void postChecksRecordStillHoldsWhatWasRead_data();
    void postChecksRecordStillHoldsWhatWasRead();
    void batchThatFailsLeavesNoTransaction();
};

namespace
{
std::unique_ptr<QtSqlConnection> connectThroughQt(const QString& path)
{
    AliasSettings s;
    s.alias = QStringLiteral("Serveur");
    s.configured = true;
    s.driver = QStringLiteral("QSQLITE");
    s.database = path;
    return std::make_unique<QtSqlConnection>(s);
}

FieldValue text(const QByteArray& utf8)
{
    FieldValue v;
    v.cls = CellClass::Text;
    v.bytes = utf8;
    return v;
}
} // namespace

void TestQtSqlConnection::postChecksRecordStillHoldsWhatWasRead_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("separator");
    QTest::newRow("nobody else wrote") << ""
                                       << ""
                                       << "S1 S2"
                                       << ";";
    QTest::newRow("another program appended a statement")
        << "UPDATE ListBase SET TTTYPES = TTTYPES || ' S9'" << recordChangedMessage() << "S1 S9"
        << ";";
    QTest::newRow("another program changed the separator") << "UPDATE ListBase SET POLICE5 = '#@'"
                                                           << ""
                                                           << "S1 S2"
                                                           << "#@";
    QTest::newRow("another program deleted the record") << "DELETE FROM ListBase" << recordGoneMessage() << ""
                                                        << "";
}

void TestQtSqlConnection::postChecksRecordStillHoldsWhatWasRead()
{
    QFETCH(QString, other);
    QFETCH(QString, message);
    QFETCH(QString, list);
    QFETCH(QString, separator);
    TestDatabase db(TestDatabase::Empty);
    db.exec(QStringLiteral("CREATE TABLE ListBase (ID INTEGER PRIMARY KEY, TTTYPES TEXT, POLICE5 VARCHAR(20));"
                           "INSERT INTO ListBase VALUES (1, 'S1', ';')"));
    auto conn = connectThroughQt(db.path());
    const TableResult read = conn->openTable(QStringLiteral("ListBase"));
    QCOMPARE(read.keys.size(), size_t(1));
    if (!other.isEmpty())
        QCOMPARE(runInOtherProgram(db.path(), other), QString());
    const std::vector<FieldChange> changes { { QStringLiteral("TTTYPES"), FieldValue::of(read.data.rows->cell(0, 1)),
        text("S1 S2") } };
    const Raised failure = raised([&] { conn->updateRow(QStringLiteral("ListBase"), read.keys[0], changes); });
    QCOMPARE(failure.message, message);
    QCOMPARE(db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), list);
    QCOMPARE(db.value(QStringLiteral("SELECT POLICE5 FROM ListBase")).toString(), separator);
    // Nothing is left locked, whatever the outcome.
    QCOMPARE(runInOtherProgram(db.path(), QStringLiteral("UPDATE ListBase SET POLICE5 = POLICE5")), QString());
}

void TestQtSqlConnection::batchThatFailsLeavesNoTransaction()
{
    TestDatabase db;
    auto conn = connectThroughQt(db.path());
    QVERIFY(!raised([&] { conn->execute(QStringLiteral("SELECT 1; SELECT 2")); }).message.isEmpty());
    QCOMPARE(runInOtherProgram(db.path(), QStringLiteral("UPDATE ListBase SET POLICE5 = '|'")), QString());
    const QueryResult result = conn->execute(QStringLiteral("SELECT POLICE5 FROM ListBase"));
    QCOMPARE(QByteArray(result.rows->cell(0, 0).data, result.rows->cell(0, 0).size), QByteArray("|"));
}

QTEST_MAIN(TestQtSqlConnection)
#include "tst_qtsqlconnection.moc"
