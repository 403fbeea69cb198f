#include "AddressSanitizer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "data/Query.h"
#include "engine/Databases.h"
#include "engine/qtsql/QtSqlConnection.h"
#include "platform/Exceptions.h"
#include "platform/MemoryLimits.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTest>
#include <limits>

#ifdef Q_OS_WIN
#ifndef NOMINMAX // Qt may have defined it
#define NOMINMAX
#endif
#include <windows.h>

#include <psapi.h> // needs windows.h first
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

// The engine watched while it runs a statement: it reports progress, stops when
// asked, and refuses a result past its memory ceiling, each time keeping nothing.
class TestBoundedQuery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup();

    void stopEndsStatementAndKeepsNothing_data();
    void stopEndsStatementAndKeepsNothing();
    void stoppedBatchAppliesNothing();
    void callbackFailureStopsStatement();
    void progressCountsRowsRead();
    void watchedStatementGivesSameResult();
    void ceilingRefusesResult_data();
    void ceilingRefusesResult();
    void refusedResultGivesMemoryBack();
    void storeNeverPassesCeiling_data();
    void storeNeverPassesCeiling();
    void storeGivesEveryCellBack_data();
    void storeGivesEveryCellBack();
    void storeFindsEveryRow();
    void tooLargeMessage_data();
    void tooLargeMessage();
    void memoryLimit_data();
    void memoryLimit();
    void endlessStatementStopsUnderAddressSpaceLimit();
    void driverConnectionIsWatchedToo_data();
    void driverConnectionIsWatchedToo();

private:
    std::shared_ptr<Connection> connection() const { return Databases::connect(QStringLiteral("Velorin")); }
    // Runs sql through a query with progress, returning what it raised.
    Raised openWith(const QString& sql, const ProgressCallback& progress);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TQuery> m_query;
};

namespace
{
const QString kEndless
    = QStringLiteral("WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r");

qint64 residentBytes()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters {};
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? qint64(counters.WorkingSetSize)
                                                                                    : 0;
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = statm.readAll().split(' ');
    return parts.value(1).toLongLong() * sysconf(_SC_PAGE_SIZE);
#endif
}
} // namespace

void TestBoundedQuery::init()
{
    m_db = std::make_unique<TestDatabase>(TestDatabase::Empty);
    m_db->exec(QStringLiteral("CREATE TABLE n (x INTEGER);"
                              "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000) "
                              "INSERT INTO n SELECT x FROM c"));
    m_query = std::make_unique<TQuery>(nullptr, QStringLiteral("QuerySQL"));
    m_query->setDatabaseName(QStringLiteral("Velorin"));
}

void TestBoundedQuery::cleanup()
{
    m_query.reset();
    m_db.reset();
}

Raised TestBoundedQuery::openWith(const QString& sql, const ProgressCallback& progress)
{
    m_query->close();
    m_query->setSQL(sql);
    m_query->setOnProgress(progress);
    return raised([this] { m_query->open(); });
}

void TestBoundedQuery::stopEndsStatementAndKeepsNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("rowsBeforeStop");
    QTest::newRow("endless rows") << kEndless << true;
    QTest::newRow("endless count") << QStringLiteral(
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT count(*) FROM r")
                                   << false;
    QTest::newRow("sort of a cross join before the first row")
        << QStringLiteral("SELECT a.x, b.x, c.x FROM n a, n b, n c ORDER BY a.x + b.x + c.x DESC") << false;
}

void TestBoundedQuery::stopEndsStatementAndKeepsNothing()
{
    QFETCH(QString, sql);
    QFETCH(bool, rowsBeforeStop);
    int calls = 0;
    qint64 lastRows = -1;
    // Stops at the 50th report: the statement has run a while by then.
    const Raised r = openWith(sql, [&](qint64 rows) {
        lastRows = rows;
        return ++calls < 50;
    });
    QCOMPARE(r.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(r.message, cancelledMessage());
    QCOMPARE(calls, 50);
    QCOMPARE(lastRows > 0, rowsBeforeStop);
    QVERIFY(!m_query->active());
    QCOMPARE(m_query->recordCount(), qsizetype(0));
    // The connection goes on: the next statement runs whole.
    QCOMPARE(openWith(QStringLiteral("SELECT count(*) FROM n"), {}).message, QString());
    QCOMPARE(m_query->field(0)->asString(), QStringLiteral("2000"));
}

void TestBoundedQuery::stoppedBatchAppliesNothing()
{
    int calls = 0;
    const Raised r = openWith(QStringLiteral("INSERT INTO n VALUES (-1);"
                                             "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                                             "INSERT INTO n SELECT x FROM r;"
                                             "SELECT * FROM n"),
        [&](qint64) { return ++calls < 20; });
    QCOMPARE(r.message, cancelledMessage());
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM n")).toInt(), 2000);
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM n WHERE x < 0")).toInt(), 0);
}

void TestBoundedQuery::callbackFailureStopsStatement()
{
    // An exception cannot cross SQLite's frames: it stops the statement and comes out.
    const Raised r
        = openWith(kEndless, [](qint64) -> bool { throw EInOutError(QStringLiteral("panne du rapport"), 5); });
    QCOMPARE(r.kind, QStringLiteral("EInOutError"));
    QCOMPARE(r.message, QStringLiteral("panne du rapport"));
    QVERIFY(!m_query->active());
    QCOMPARE(openWith(QStringLiteral("SELECT count(*) FROM n"), {}).message, QString());
}

void TestBoundedQuery::progressCountsRowsRead()
{
    QList<qint64> reported;
    const Raised r = openWith(QStringLiteral("SELECT a.x FROM n a, n b LIMIT 300000"), [&](qint64 rows) {
        reported << rows;
        return true;
    });
    QCOMPARE(r.message, QString());
    QCOMPARE(m_query->recordCount(), qsizetype(300000));
    // Reported often, never backwards, never more than was read.
    QVERIFY2(reported.size() > 100, qPrintable(QString::number(reported.size())));
    for (qsizetype i = 1; i < reported.size(); ++i)
        QVERIFY(reported[i] >= reported[i - 1]);
    QVERIFY(reported.last() <= 300000);
    QVERIFY(reported.last() > 250000);
}

void TestBoundedQuery::watchedStatementGivesSameResult()
{
    const QString sql = kEndless + QStringLiteral(" LIMIT 123457");
    QCOMPARE(openWith(sql, [](qint64) { return true; }).message, QString());
    QCOMPARE(m_query->recordCount(), qsizetype(123457));
    m_query->last();
    QCOMPARE(m_query->field(0)->asString(), QStringLiteral("123457"));
}

void TestBoundedQuery::ceilingRefusesResult_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qsizetype>("ceiling");
    QTest::newRow("endless integers") << kEndless << (qsizetype(8) << 20);
    QTest::newRow("endless long texts") << QStringLiteral(
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
        "SELECT x, printf('%.5000c', 'a') FROM r")
                                        << (qsizetype(8) << 20);
    QTest::newRow("one blob larger than the ceiling")
        << QStringLiteral("SELECT zeroblob(3000000)") << (qsizetype(1) << 20);
}

void TestBoundedQuery::ceilingRefusesResult()
{
    QFETCH(QString, sql);
    QFETCH(qsizetype, ceiling);
    connection()->setResultCeiling(ceiling);
    const Raised r = openWith(sql, {});
    QCOMPARE(r.kind, QStringLiteral("EDatabaseError"));
    static const QRegularExpression message(
        QStringLiteral("^Résultat trop volumineux : \\d+ lignes? lues? \\(\\d+(,\\d)? Mo\\)\\.$"));
    QVERIFY2(message.match(r.message).hasMatch(), qPrintable(r.message));
    QVERIFY(!m_query->active());
    // The next statement that fits runs.
    QCOMPARE(openWith(QStringLiteral("SELECT x FROM n"), {}).message, QString());
    QCOMPARE(m_query->recordCount(), qsizetype(2000));
}

void TestBoundedQuery::refusedResultGivesMemoryBack()
{
#if defined(ADDRESS_SANITIZER)
    QSKIP("AddressSanitizer keeps freed memory in quarantine");
#endif
    connection()->setResultCeiling(qsizetype(64) << 20);
    const qint64 before = residentBytes();
    const Raised r = openWith(kEndless, {});
    QVERIFY2(r.message.startsWith(QStringLiteral("Résultat trop volumineux : ")), qPrintable(r.message));
    // The result reached 64 MiB; what stays is far less.
    const qint64 after = residentBytes();
    QVERIFY2(after - before < (qint64(16) << 20), qPrintable(QString::number((after - before) >> 20)));
}

void TestBoundedQuery::storeNeverPassesCeiling_data()
{
    QTest::addColumn<qsizetype>("ceiling");
    QTest::addColumn<qsizetype>("cellSize");
    QTest::newRow("many small rows, ceiling below a chunk") << qsizetype(100000) << qsizetype(0);
    QTest::newRow("many small rows, several chunks") << (qsizetype(10) << 20) << qsizetype(0);
    QTest::newRow("texts of a kilobyte") << (qsizetype(9) << 20) << qsizetype(1000);
    QTest::newRow("texts larger than a chunk") << (qsizetype(30) << 20) << (qsizetype(5) << 20);
}

void TestBoundedQuery::storeNeverPassesCeiling()
{
    QFETCH(qsizetype, ceiling);
    QFETCH(qsizetype, cellSize);
    const QByteArray text(cellSize, 'x');
    ResultStore store(2, ceiling);
    const Raised r = raised([&] {
        for (qint64 i = 0;; ++i) {
            store.beginRow();
            store.appendInteger(i);
            store.appendText(text.constData(), text.size());
            store.endRow();
            QVERIFY(store.bytesHeld() <= ceiling);
        }
    });
    QCOMPARE(r.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(r.message, resultTooLargeMessage(store.rowCount(), store.bytesHeld()));
    QVERIFY(store.bytesHeld() <= ceiling);
    // Filled to most of the ceiling, not refused early.
    QVERIFY2(store.bytesHeld() + cellSize + 64 >= ceiling * 3 / 4, qPrintable(QString::number(store.bytesHeld())));
    // Every row kept is whole.
    const qsizetype last = store.rowCount() - 1;
    QVERIFY(last >= 0);
    QCOMPARE(store.cell(last, 0).integer, qint64(last));
    QCOMPARE(store.cell(last, 1).size, cellSize);
}

void TestBoundedQuery::storeGivesEveryCellBack_data()
{
    QTest::addColumn<CellClass>("cls");
    QTest::addColumn<qint64>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<QByteArray>("bytes");
    const auto integer
        = [](const char* name, qint64 v) { QTest::newRow(name) << CellClass::Integer << v << 0.0 << QByteArray(); };
    const auto real
        = [](const char* name, double v) { QTest::newRow(name) << CellClass::Float << qint64(0) << v << QByteArray(); };
    integer("integer 0", 0);
    integer("integer -1", -1);
    integer("integer 127, one byte", 127);
    integer("integer 128, two bytes", 128);
    integer("integer -129", -129);
    integer("integer 2^31", qint64(1) << 31);
    integer("integer smallest", std::numeric_limits<qint64>::min());
    integer("integer largest", std::numeric_limits<qint64>::max());
    real("amount 123.45", 123.45);
    real("negative amount -50.01", -50.01);
    real("four places 1.2345", 1.2345);
    real("whole 250.0, trailing zeros", 250.0);
    real("one ten-thousandth below 0", -0.0001);
    real("five places 1.23456", 1.23456);
    real("0.1 + 0.2, not a decimal", 0.1 + 0.2);
    real("-0", -0.0);
    real("NaN", std::numeric_limits<double>::quiet_NaN());
    real("infinity", std::numeric_limits<double>::infinity());
    real("smallest subnormal", std::numeric_limits<double>::denorm_min());
    real("1e300", 1e300);
    real("an integer past 2^53", 9007199254740993.0 * 4);
    real("just below 1e14 with places", 99999999999999.99);
    for (const qsizetype size : { 0, 63, 64, 127, 128, 20000 }) {
        const QByteArray bytes(size, '\xE9');
        QTest::newRow(qPrintable(QStringLiteral("text of %1 bytes").arg(size)))
            << CellClass::Text << qint64(0) << 0.0 << bytes;
        QTest::newRow(qPrintable(QStringLiteral("blob of %1 bytes").arg(size)))
            << CellClass::Blob << qint64(0) << 0.0 << bytes;
    }
    QTest::newRow("null") << CellClass::Null << qint64(0) << 0.0 << QByteArray();
}

// Each value comes back exactly as it was stored, between neighbours of other classes,
// whatever form the store keeps it in.
void TestBoundedQuery::storeGivesEveryCellBack()
{
    QFETCH(CellClass, cls);
    QFETCH(qint64, integer);
    QFETCH(double, real);
    QFETCH(QByteArray, bytes);
    ResultStore store(3);
    for (int row = 0; row < 2; ++row) {
        store.beginRow();
        store.appendText("a", 1);
        store.appendCell(CellRef { cls, bytes.constData(), bytes.size(), integer, real });
        store.appendInteger(-7);
        store.endRow();
    }
    for (int row = 0; row < 2; ++row) {
        const CellRef cell = store.cell(row, 1);
        QCOMPARE(cell.cls, cls);
        if (cls == CellClass::Integer)
            QCOMPARE(cell.integer, integer);
        if (cls == CellClass::Float)
            QCOMPARE(QByteArray::fromRawData(reinterpret_cast<const char*>(&cell.real), 8),
                QByteArray::fromRawData(reinterpret_cast<const char*>(&real), 8));
        if (cls == CellClass::Text || cls == CellClass::Blob)
            QCOMPARE(QByteArray(cell.data, cell.size), bytes);
        QCOMPARE(store.cell(row, 2).integer, qint64(-7));
    }
}

// Rows of every size, some larger than a chunk, are found again in any order.
void TestBoundedQuery::storeFindsEveryRow()
{
    ResultStore store(2);
    const qsizetype rows = 200000;
    for (qint64 i = 0; i < rows; ++i) {
        const QByteArray text(i % 50000 == 7 ? (qsizetype(5) << 20) : i % 300, 'x');
        store.beginRow();
        store.appendInteger(i);
        store.appendText(text.constData(), text.size());
        store.endRow();
    }
    QCOMPARE(store.rowCount(), rows);
    for (qint64 i = 0, row = 0; i < rows; ++i, row = (row + 7919) % rows) {
        QCOMPARE(store.cell(row, 0).integer, row);
        QCOMPARE(store.cell(row, 1).size, row % 50000 == 7 ? (qsizetype(5) << 20) : row % 300);
    }
}

void TestBoundedQuery::tooLargeMessage_data()
{
    QTest::addColumn<qsizetype>("rows");
    QTest::addColumn<qsizetype>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("no row") << qsizetype(0) << qsizetype(1) << "Résultat trop volumineux : 0 ligne lue (0,0 Mo).";
    QTest::newRow("one row, tenths below 10 Mo")
        << qsizetype(1) << qsizetype(3 << 20) / 2 << "Résultat trop volumineux : 1 ligne lue (1,5 Mo).";
    QTest::newRow("rounds to the nearest tenth")
        << qsizetype(2) << qsizetype(1048576 * 9.96) << "Résultat trop volumineux : 2 lignes lues (10,0 Mo).";
    QTest::newRow("whole megabytes, plain digits")
        << qsizetype(123456789) << (qsizetype(8192) << 20) + (qsizetype(1) << 19)
        << "Résultat trop volumineux : 123456789 lignes lues (8193 Mo).";
}

void TestBoundedQuery::tooLargeMessage()
{
    QFETCH(qsizetype, rows);
    QFETCH(qsizetype, bytes);
    QFETCH(QString, message);
    QCOMPARE(resultTooLargeMessage(rows, bytes), message);
}

using Files = QMap<QString, QByteArray>;

void TestBoundedQuery::memoryLimit_data()
{
    QTest::addColumn<quint64>("physical");
    QTest::addColumn<quint64>("addressSpace");
    QTest::addColumn<quint64>("dataSegment");
    QTest::addColumn<Files>("files");
    QTest::addColumn<quint64>("limit");
    const quint64 gib = quint64(1) << 30;
    const QString self = QStringLiteral("/proc/self/cgroup");
    const QByteArray v2 = "0::/user.slice/session.scope\n";
    const QByteArray v1 = "9:name=systemd:/\n4:memory:/process_api/a1\n1:cpu:/\n0::/\n";
    const QString v2Session = QStringLiteral("/sys/fs/cgroup/user.slice/session.scope/memory.max");
    const QString v1Group = QStringLiteral("/sys/fs/cgroup/memory/process_api/a1/memory.limit_in_bytes");
    QTest::newRow("no limit") << 8 * gib << quint64(0) << quint64(0) << Files { { self, v2 }, { v2Session, "max\n" } }
                              << 8 * gib;
    QTest::newRow("address space smaller")
        << 8 * gib << quint64(3000000) * 1024 << quint64(0) << Files {} << quint64(3000000) * 1024;
    QTest::newRow("data segment smaller") << 8 * gib << 4 * gib << 2 * gib << Files {} << 2 * gib;
    QTest::newRow("cgroup v2 max") << 8 * gib << quint64(0) << quint64(0)
                                   << Files { { self, v2 }, { v2Session, "max\n" },
                                          { QStringLiteral("/sys/fs/cgroup/user.slice/memory.max"), "max\n" } }
                                   << 8 * gib;
    QTest::newRow("cgroup v2 number") << 8 * gib << quint64(0) << quint64(0)
                                      << Files { { self, v2 }, { v2Session, "1073741824\n" } } << gib;
    QTest::newRow("cgroup v2 number on the parent group")
        << 8 * gib << 4 * gib << quint64(0)
        << Files { { self, v2 }, { v2Session, "max\n" },
               { QStringLiteral("/sys/fs/cgroup/user.slice/memory.max"), "3221225472\n" } }
        << 3 * gib;
    QTest::newRow("cgroup v2 at the root of a namespace")
        << 8 * gib << quint64(0) << quint64(0)
        << Files { { self, "0::/\n" }, { QStringLiteral("/sys/fs/cgroup/memory.max"), "536870912\n" } } << gib / 2;
    QTest::newRow("cgroup v1 huge sentinel") << 8 * gib << quint64(0) << quint64(0)
                                             << Files { { self, v1 }, { v1Group, "9223372036854771712\n" } } << 8 * gib;
    QTest::newRow("cgroup v1 number") << 8 * gib << 16 * gib << quint64(0)
                                      << Files { { self, v1 }, { v1Group, "2147483648\n" } } << 2 * gib;
    QTest::newRow("unreadable files") << 8 * gib << quint64(0) << quint64(0) << Files {} << 8 * gib;
    QTest::newRow("unreadable limit file") << 8 * gib << quint64(0) << quint64(0) << Files { { self, v1 } } << 8 * gib;
    QTest::newRow("limit file that is no number")
        << 8 * gib << quint64(0) << quint64(0) << Files { { self, v2 }, { v2Session, "" } } << 8 * gib;
    QTest::newRow("physical memory unknown") << quint64(0) << quint64(0) << 2 * gib << Files {} << 2 * gib;
    QTest::newRow("nothing known") << quint64(0) << quint64(0) << quint64(0) << Files {} << quint64(0);
}

void TestBoundedQuery::memoryLimit()
{
    QFETCH(quint64, physical);
    QFETCH(quint64, addressSpace);
    QFETCH(quint64, dataSegment);
    QFETCH(Files, files);
    QFETCH(quint64, limit);
    const MemoryLimits::Facts facts { physical, addressSpace, dataSegment,
        [&](const QString& path) { return files.value(path); } };
    QCOMPARE(MemoryLimits::smallestLimit(facts), limit);
}

void TestBoundedQuery::endlessStatementStopsUnderAddressSpaceLimit()
{
#if defined(ADDRESS_SANITIZER)
    QSKIP("AddressSanitizer reserves terabytes of address space: no program starts under a lowered RLIMIT_AS");
#elif defined(Q_OS_WIN)
    QSKIP("a lowered address space (RLIMIT_AS) is a Unix facility");
#elif !defined(EXPORT_BENCH)
    QSKIP("needs bench/export_bench (VELOSQL_BENCH=OFF)");
#else
    // The program may address 1 GiB, far less than the machine's memory: the result
    // stops at the ceiling that limit sets, not at the first allocation refused.
    QProcess bench;
    bench.setChildProcessModifier([] {
        const rlimit limit { rlim_t(1) << 30, rlim_t(1) << 30 };
        setrlimit(RLIMIT_AS, &limit);
    });
    bench.start(QStringLiteral(EXPORT_BENCH), { QStringLiteral("open"), m_db->path(), QString(), kEndless });
    QVERIFY(bench.waitForFinished(120000));
    const QString errors = QString::fromUtf8(bench.readAllStandardError());
    QCOMPARE(bench.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bench.exitCode(), 1);
    static const QRegularExpression message(
        QStringLiteral("^export_bench: Résultat trop volumineux : \\d+ lignes lues \\(\\d+ Mo\\)\\.$"),
        QRegularExpression::MultilineOption);
    QVERIFY2(message.match(errors).hasMatch(), qPrintable(errors));
#endif
}

void TestBoundedQuery::driverConnectionIsWatchedToo_data()
{
    QTest::addColumn<bool>("stop");
    QTest::addColumn<qsizetype>("ceiling");
    QTest::addColumn<QString>("message");
    QTest::newRow("stopped by the callback") << true << ResultStore::defaultCeiling() << cancelledMessage();
    QTest::newRow("refused at the ceiling") << false << qsizetype(100000) << "Résultat trop volumineux : ";
}

void TestBoundedQuery::driverConnectionIsWatchedToo()
{
    // The servers' connection, here on Qt's own SQLite driver.
    QFETCH(bool, stop);
    QFETCH(qsizetype, ceiling);
    QFETCH(QString, message);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        QSKIP("needs Qt's SQLite driver (QSQLITE)");
    AliasSettings settings;
    settings.alias = QStringLiteral("Serveur");
    settings.configured = true;
    settings.driver = QStringLiteral("QSQLITE");
    settings.database = m_db->path();
    QtSqlConnection connection(settings);
    connection.setResultCeiling(ceiling);
    qint64 lastRows = -1;
    const Raised r = raised([&] {
        connection.execute(QStringLiteral("SELECT a.x FROM n a, n b"), [&](qint64 rows) {
            lastRows = rows;
            return !stop || rows < 1000;
        });
    });
    QCOMPARE(r.kind, QStringLiteral("EDatabaseError"));
    QVERIFY2(r.message.startsWith(message), qPrintable(r.message));
    // The driver's rows are reported in batches: the reading stops at the first report
    // past 1000, long before the 4,000,000 rows.
    if (stop)
        QVERIFY2(lastRows >= 1000 && lastRows <= 2048, qPrintable(QString::number(lastRows)));
    QCOMPARE(connection.execute(QStringLiteral("SELECT count(*) FROM n")).rows->cell(0, 0).integer, qint64(2000));
}

QTEST_MAIN(TestBoundedQuery)
#include "tst_boundedquery.moc"
