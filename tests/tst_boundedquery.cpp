#include "AddressSanitizer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "engine/ResultStore.h"
#include "platform/Exceptions.h"
#include "platform/MemoryLimits.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <limits>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

// The store of a result and its memory ceiling: every cell given back, never past the
// ceiling, the ceiling drawn from the machine's limits. How each engine stops and
// refuses a result is tst_enginesessions'.
class TestBoundedQuery : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

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
};

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
    const TestDatabase db(TestDatabase::Empty);
    bench.start(QStringLiteral(EXPORT_BENCH),
        { QStringLiteral("open"), db.path(), QString(),
            QStringLiteral("WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r") });
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

QTEST_MAIN(TestBoundedQuery)
#include "tst_boundedquery.moc"
