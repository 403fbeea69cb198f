#include "AddressSanitizer.h"
#include "QueryFixture.h"
#include "WidestValues.h"
#include "app/Controls.h"
#include "data/Table.h"
#include "ui/widgets/DBGrid.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QStyleOptionHeader>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if !defined(ADDRESS_SANITIZER) && !defined(Q_OS_WIN)
namespace
{

// The address space the process holds now, in bytes.
rlim_t addressSpaceInUse()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return rlim_t(statm.readLine().split(' ').value(0).toULongLong()) * rlim_t(sysconf(_SC_PAGESIZE));
}

} // namespace
#endif

namespace
{

// A query, named by its own data source, that tells how many receivers its signals have.
class ListenedQuery : public TQuery
{
public:
    ListenedQuery() { source.setDataSet(this); }
    int listeners() const { return receivers(SIGNAL(currentChanged())) + receivers(SIGNAL(layoutChanged())); }
    TDataSource source;
};

} // namespace

// The grid shows each cell's first line, cut short, and never pays for what it does
// not show.
class TestDBGrid : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void cellShowsStartOfFirstLine_data();
    void cellShowsStartOfFirstLine();
    void paintingHugeCellTakesNoMemoryForIt();
    void columnsOfHugeDeclaredSizesStayBounded_data();
    void columnsOfHugeDeclaredSizesStayBounded();
    void columnsShowWidestValueWhole_data() { addWidestValueRows(); }
    void columnsShowWidestValueWhole();
    void columnsShowTheirCaptionWhole_data();
    void columnsShowTheirCaptionWhole();
    void modelStaysConsistentThroughOpenCloseAndEdit();
    void changingDataSourceLeavesNoConnectionBehind_data();
    void changingDataSourceLeavesNoConnectionBehind();
};

void TestDBGrid::cellShowsStartOfFirstLine_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    const QString cut(QChar(0x2026));
    const QString x255(255, u'x');
    QTest::newRow("short") << "'Dupont'"
                           << "Dupont";
    QTest::newRow("two lines") << "'a' || char(13, 10) || 'b'"
                               << "a" + cut;
    QTest::newRow("line feed first") << "'a' || char(10) || 'b' || char(13)"
                                     << "a" + cut;
    QTest::newRow("256 characters") << "printf('%.256c', 'x')" << x255 + "x";
    QTest::newRow("257 characters") << "printf('%.257c', 'x')" << x255 + "x" + cut;
    QTest::newRow("accents past the cut") << "replace(printf('%.300c', 'x'), 'x', 'é')" << QString(256, u'é') + cut;
    QTest::newRow("pair across the cut") << "printf('%.255c', 'x') || '😀'" << x255 + cut;
    QTest::newRow("ill-formed run across the cut")
        << "printf('%.255c', 'x') || CAST(X'C080' AS TEXT)" << x255 + QChar(0xFFFD) + cut;
    QTest::newRow("long line after a short one") << "'a' || char(10) || printf('%.9999c', 'x')"
                                                 << "a" + cut;
}

void TestDBGrid::cellShowsStartOfFirstLine()
{
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v TEXT); INSERT INTO t VALUES (%1)").arg(value));
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDataSet(&f.query);
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), shown);
}

void TestDBGrid::paintingHugeCellTakesNoMemoryForIt()
{
#if defined(ADDRESS_SANITIZER)
    QSKIP("an address space limit and the address sanitizer exclude each other");
#elif defined(Q_OS_WIN)
    QSKIP("the child with a lowered address space needs fork and RLIMIT_AS, Unix facilities");
#else
    // 64 MiB of text in one cell; converting it whole would take 128 MiB.
    QueryFixture f(QStringLiteral("CREATE TABLE t (v TEXT, n INTEGER);"
                                  "INSERT INTO t VALUES (replace(hex(zeroblob(33554432)), '0', 'a'), 1)"));
    TDataSource source;
    source.setDataSet(&f.query);
    TDBGrid grid;
    grid.resize(791, 350);
    grid.setDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.grab();

    // A child process repaints and reads the cell with 32 MiB of address space to spare.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const rlim_t limit = addressSpaceInUse() + 32 * 1024 * 1024;
        const rlimit space { limit, limit };
        int status = setrlimit(RLIMIT_AS, &space) == 0 ? 0 : 3;
        try {
            grid.viewport()->update();
            grid.grab();
            const QString shown = grid.model()->data(grid.model()->index(0, 0)).toString();
            if (shown != QString(256, u'a') + QChar(0x2026))
                status = 4;
        } catch (...) {
            status = 5;
        }
        _exit(status);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the child died");
    QCOMPARE(WEXITSTATUS(status), 0);
#endif
}

void TestDBGrid::columnsOfHugeDeclaredSizesStayBounded_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("two billion characters") << "VARCHAR(2000000000)";
    QTest::newRow("largest size") << "VARCHAR(2147483647)";
    QTest::newRow("largest decimal precision") << "DECIMAL(2147483647)";
}

void TestDBGrid::columnsOfHugeDeclaredSizesStayBounded()
{
    QFETCH(QString, type);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v %1)").arg(type));
    TDataSource source;
    source.setDataSet(&f.query);
    TDBGrid grid;
    grid.setDataSource(&source);
    QCOMPARE(grid.columnWidth(0), 400);
}

void TestDBGrid::columnsShowWidestValueWhole()
{
    QFETCH(QString, locale);
    QFETCH(QString, setup);
    const DefaultLocale settings(locale);
    QueryFixture f(setup);
    TDataSource source;
    source.setDataSet(&f.query);
    // In the application's font, and in the smaller one of the query window.
    for (const QFont& font : { QApplication::font(),
             Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Points { 8 }) }) {
        TDBGrid grid;
        grid.setFont(font);
        grid.setDataSource(&source);
        // What the style needs to show every row's text whole, measured by Qt itself.
        const int needed = static_cast<const QAbstractItemView&>(grid).sizeHintForColumn(0);
        QVERIFY2(needed <= grid.columnWidth(0),
            qPrintable(QStringLiteral("%1: %2 > %3").arg(font.toString()).arg(needed).arg(grid.columnWidth(0))));
    }
}

void TestDBGrid::columnsShowTheirCaptionWhole_data()
{
    QTest::addColumn<QString>("column");
    QTest::newRow("truth value") << "ASSURE BOOLEAN";
    QTest::newRow("date") << "NAISSANCE DATE";
    QTest::newRow("short text") << "MMMMMMMM VARCHAR(2)";
    QTest::newRow("integer") << "WWWWWWWWWW INTEGER";
}

void TestDBGrid::columnsShowTheirCaptionWhole()
{
    QFETCH(QString, column);
    QueryFixture f(QStringLiteral("CREATE TABLE t (%1)").arg(column));
    TDataSource source;
    source.setDataSet(&f.query);
    TDBGrid grid;
    grid.horizontalHeader()->setFont(
        Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Points { 8 }));
    grid.setDataSource(&source);
    const QString caption = column.section(u' ', 0, 0);
    QStyleOptionHeader option;
    option.initFrom(grid.horizontalHeader());
    option.text = caption;
    const QSize needed = grid.horizontalHeader()->style()->sizeFromContents(
        QStyle::CT_HeaderSection, &option, QSize(), grid.horizontalHeader());
    QVERIFY2(needed.width() <= grid.columnWidth(0),
        qPrintable(QStringLiteral("%1 > %2").arg(needed.width()).arg(grid.columnWidth(0))));
}

void TestDBGrid::modelStaysConsistentThroughOpenCloseAndEdit()
{
    TestDatabase db;
    db.exec(QStringLiteral("CREATE TABLE t (id INTEGER, nom VARCHAR(20));"
                           "INSERT INTO t VALUES (1, 'Dupont'), (2, 'Martin')"));
    TTable table;
    table.setDatabaseName(QStringLiteral("Velorin"));
    table.setTableName(QStringLiteral("t.DB"));
    TDataSource source;
    source.setDataSet(&table);
    TDBGrid grid;
    grid.setDataSource(&source);
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    table.open();
    QCOMPARE(grid.model()->rowCount(), 2);
    table.close();
    QCOMPARE(grid.model()->rowCount(), 0);
    table.open();
    table.edit();
    table.FieldByName(QStringLiteral("nom"))->setAsString(QStringLiteral("Durand"));
    table.post();
    QCOMPARE(grid.model()->rowCount(), 2);
    QCOMPARE(grid.model()->index(0, 1).data().toString(), QStringLiteral("Durand"));
}

void TestDBGrid::changingDataSourceLeavesNoConnectionBehind_data()
{
    QTest::addColumn<bool>("sameSourceAgain");
    QTest::newRow("another data source") << false;
    QTest::newRow("the same data source twice") << true;
}

void TestDBGrid::changingDataSourceLeavesNoConnectionBehind()
{
    QFETCH(bool, sameSourceAgain);
    ListenedQuery first;
    ListenedQuery second;
    const int unheard = first.listeners();
    TDBGrid grid;
    grid.setDataSource(&first.source);
    const int heard = first.listeners();
    QVERIFY(heard > unheard);
    if (sameSourceAgain) {
        grid.setDataSource(&first.source);
        QCOMPARE(first.listeners(), heard);
    } else {
        grid.setDataSource(&second.source);
        QCOMPARE(first.listeners(), unheard);
        QCOMPARE(second.listeners(), heard);
    }
}

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
