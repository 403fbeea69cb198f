#include "AddressSanitizer.h"
#include "QueryFixture.h"
#include "WidestValues.h"
#include "app/Controls.h"
#include "data/CellSearch.h"
#include "data/Table.h"
#include "export/kdb2text.h"
#include "ui/widgets/DBGrid.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBuffer>
#include <QCollator>
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
    void headerClicksSortRows_data();
    void headerClicksSortRows();
    void sortedRowsKeepCurrentRecordAndReachWalks();
    void largeSortSplitOverCoresMatchesOneByOne_data();
    void largeSortSplitOverCoresMatchesOneByOne();
    void searchMatchesTextShown_data();
    void searchMatchesTextShown();
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

namespace
{
// Clicks the header of the grid's column.
void clickHeader(TDBGrid& grid, int column)
{
    QHeaderView* header = grid.horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// The labels of column 1 in the order shown, blank-separated.
QString labelsShown(const QAbstractItemModel& model)
{
    QStringList labels;
    for (int r = 0; r < model.rowCount(); ++r)
        labels << model.index(r, 1).data().toString();
    return labels.join(u' ');
}
} // namespace

void TestDBGrid::headerClicksSortRows_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("values");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("labels");
    const QString numbers = QStringLiteral("10, 9, NULL, 100, 9.5");
    QTest::newRow("numbers as numbers, null first") << "INTEGER" << numbers << 1 << "3 2 5 1 4";
    QTest::newRow("second click descends, null last") << "INTEGER" << numbers << 2 << "4 1 5 2 3";
    QTest::newRow("third click gives the query's order") << "INTEGER" << numbers << 3 << "1 2 3 4 5";
    QTest::newRow("decimals stored as text") << "DECIMAL(10,2)"
                                             << "'10.50', '9.00', '100.00', ' -1 '" << 1 << "4 2 1 3";
    QTest::newRow("money, not a number among them") << "MONEY"
                                                    << "'12,5', 3, 'abc', 0.5" << 1 << "4 2 1 3";
    QTest::newRow("locale's collation, not bytes") << "VARCHAR(10)"
                                                   << "'b', 'É', 'a', 'B', 'e', 'œuf', 'oz'" << 1 << "3 1 4 5 2 6 7";
    QTest::newRow("dates in time order, not as shown")
        << "DATE"
        << "'2024-03-07', '1999-12-31', 'inconnue', '2024-01-15'" << 1 << "2 4 1 3";
    QTest::newRow("date-times with and without a time")
        << "DATETIME"
        << "'2024-03-07 10:00', '2024-03-07', '2024-03-06T23:59:59'" << 1 << "3 2 1";
    QTest::newRow("times of day") << "TIME"
                                  << "'10:30', '09:15:00.5', '23:00', '09:15'" << 1 << "4 2 1 3";
    QTest::newRow("equal values keep their order ascending") << "INTEGER"
                                                             << "1, 0, 1, 0, 1" << 1 << "2 4 1 3 5";
    QTest::newRow("equal values keep their order descending") << "INTEGER"
                                                              << "1, 0, 1, 0, 1" << 2 << "1 3 5 2 4";
    QTest::newRow("texts equal in collation keep their order") << "VARCHAR(10)"
                                                               << "'x', 'a', 'x', 'a'" << 2 << "1 3 2 4";
    QTest::newRow("binary contents byte by byte") << "BLOB"
                                                  << "X'02', NULL, X'0100', X'01'" << 1 << "2 4 3 1";
    QTest::newRow("not a number among numbers") << "REAL"
                                                << "1.5, 0.0/0.0, -2" << 1 << "2 3 1";
    const QString nan = QStringLiteral("30, 'nan', 50, 'NaN', 40, 60, NULL, ' -nan '");
    QTest::newRow("texts of not a number after the numbers") << "REAL" << nan << 1 << "7 1 5 3 6 2 4 8";
    QTest::newRow("texts of not a number before the numbers descending") << "REAL" << nan << 2 << "2 4 8 6 3 5 1 7";
    QTest::newRow("not a number among amounts") << "MONEY"
                                                << "12.5, 'NaN', 3, 'abc', -1" << 1 << "5 3 1 2 4";
    QTest::newRow("infinities at the ends, a number before its text")
        << "REAL"
        << "'inf', 9e999, -9e999, 0, '-Infinity', 'nan', 1" << 1 << "3 5 4 7 2 1 6";
    QTest::newRow("classes in SQLite's order") << "BLOB"
                                               << "X'01', 'b', 2, NULL, 1.5, 'a', X'00'" << 1 << "4 5 3 6 2 7 1";
}

void TestDBGrid::headerClicksSortRows()
{
    QFETCH(QString, type);
    QFETCH(QString, values);
    QFETCH(int, clicks);
    QFETCH(QString, labels);
    QStringList rows;
    const QStringList cells = values.split(QStringLiteral(", "));
    for (int i = 0; i < cells.size(); ++i)
        rows << QStringLiteral("(%1, %2)").arg(cells[i]).arg(i + 1);
    QueryFixture f(
        QStringLiteral("CREATE TABLE t (k %1, n INTEGER); INSERT INTO t VALUES %2").arg(type, rows.join(u',')));
    TDataSource source;
    source.setDataSet(&f.query);
    TDBGrid grid;
    grid.setDataSource(&source);
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    for (int i = 0; i < clicks; ++i)
        clickHeader(grid, 0);
    QCOMPARE(labelsShown(*grid.model()), labels);
    const bool sorted = clicks % 3 != 0;
    QCOMPARE(grid.horizontalHeader()->isSortIndicatorShown(), sorted);
    QCOMPARE(grid.horizontalHeader()->sortIndicatorSection(), sorted ? 0 : -1);
    QCOMPARE(grid.horizontalHeader()->sortIndicatorOrder(), clicks % 3 == 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TestDBGrid::sortedRowsKeepCurrentRecordAndReachWalks()
{
    QueryFixture f(QStringLiteral("CREATE TABLE t (nom VARCHAR(10), n INTEGER);"
                                  "INSERT INTO t VALUES ('Martin', 1), ('Durand', 2), ('Petit', 3)"));
    TDataSource source;
    source.setDataSet(&f.query);
    TDBGrid grid;
    grid.setDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.setCurrentIndex(grid.model()->index(1, 1));
    QCOMPARE(f.query.recNo(), 1);
    clickHeader(grid, 0);
    // Durand, now first, stays the current record, in the same column.
    QCOMPARE(f.query.recNo(), 0);
    QCOMPARE(f.query.FieldByName(QStringLiteral("nom"))->asString(), QStringLiteral("Durand"));
    QTRY_COMPARE(grid.currentIndex(), grid.model()->index(0, 1));
    QCOMPARE(grid.selectionModel()->selectedIndexes(), QModelIndexList { grid.model()->index(0, 1) });
    // A walk over the records follows the order shown, and running again drops it.
    QStringList walked;
    for (f.query.first(); !f.query.eof(); f.query.next())
        walked << f.query.field(0)->asString();
    QCOMPARE(walked, QStringList({ "Durand", "Martin", "Petit" }));
    TKDatasetToText text;
    text.setDataset(&f.query);
    QBuffer exported;
    QBuffer side;
    exported.open(QIODevice::WriteOnly);
    side.open(QIODevice::WriteOnly);
    QVERIFY(text.exportTo(exported, side));
    QCOMPARE(exported.data(), QByteArray("\"Durand\"\t\"2\"\r\n\"Martin\"\t\"1\"\r\n\"Petit\"\t\"3\"\r\n"));
    f.query.close();
    f.query.open();
    QCOMPARE(f.query.sortField(), -1);
    QCOMPARE(f.query.field(0)->asString(), QStringLiteral("Martin"));
    QVERIFY(!grid.horizontalHeader()->isSortIndicatorShown());
}

void TestDBGrid::largeSortSplitOverCoresMatchesOneByOne_data()
{
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<int>("stopAfter"); // calls of progress before it answers stop; -1 never
    QTest::newRow("ascending") << Qt::AscendingOrder << -1;
    QTest::newRow("descending") << Qt::DescendingOrder << -1;
    QTest::newRow("stopped while reading") << Qt::AscendingOrder << 0;
    QTest::newRow("stopped as the cores start") << Qt::AscendingOrder << 15;
}

// Enough rows that the collation keys and the sorts are split over the cores and
// merged: the order is the collator's, ties in the order the query gave; a stop
// leaves the order shown as it was.
void TestDBGrid::largeSortSplitOverCoresMatchesOneByOne()
{
    QFETCH(Qt::SortOrder, order);
    QFETCH(int, stopAfter);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v TEXT, n INTEGER);"
                                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 60000) "
                                  "INSERT INTO t SELECT CASE x % 4 WHEN 0 THEN 'é' WHEN 1 THEN 'E' WHEN 2 THEN 'e' "
                                  "ELSE 'f' END || (x * 7919 % 20011), x FROM c"));
    int calls = 0;
    const bool done = f.query.sortBy(0, order, [&] { return stopAfter < 0 || calls++ < stopAfter; });
    QCOMPARE(done, stopAfter < 0);
    QCOMPARE(f.query.sortField(), done ? 0 : -1);
    QCollator collator(f.query.textForms().locale);
    QString before;
    qint64 beforeN = 0;
    for (qsizetype row = 0; row < f.query.recordCount(); ++row) {
        const QString v = f.query.textForms().textOf(f.query.cellAt(row, 0), ftMemo);
        const qint64 n = f.query.cellAt(row, 1).integer;
        if (!done) {
            QCOMPARE(n, row + 1);
            continue;
        }
        const int c = row == 0 ? 0 : collator.compare(before, v) * (order == Qt::AscendingOrder ? 1 : -1);
        QVERIFY2(c < 0 || (c == 0 && beforeN < n), qPrintable(before + u' ' + v));
        before = v;
        beforeN = n;
    }
}

void TestDBGrid::searchMatchesTextShown_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("found");
    QTest::newRow("letter case ignored") << "VARCHAR(20)"
                                         << "'Dupont'"
                                         << "DUP" << false << true;
    QTest::newRow("letter case respected") << "VARCHAR(20)"
                                           << "'Dupont'"
                                           << "DUP" << true << false;
    QTest::newRow("accents, case ignored") << "VARCHAR(20)"
                                           << "'Émile'"
                                           << "émi" << false << true;
    QTest::newRow("accents, case respected") << "VARCHAR(20)"
                                             << "'Émile'"
                                             << "émi" << true << false;
    QTest::newRow("Kelvin sign folds to k") << "VARCHAR(20)"
                                            << "'2 ' || char(8490)"
                                            << "K" << false << true;
    QTest::newRow("long s folds to s") << "VARCHAR(20)"
                                       << "'cla' || char(383)"
                                       << "lAS" << false << true;
    QTest::newRow("date as shown, not as stored") << "DATE"
                                                  << "'2024-03-07'"
                                                  << "07/03" << false << true;
    QTest::newRow("stored date form not shown") << "DATE"
                                                << "'2024-03-07'"
                                                << "03-07" << false << false;
    QTest::newRow("decimal comma of the locale") << "REAL"
                                                 << "10.25"
                                                 << "0,2" << false << true;
    QTest::newRow("money") << "MONEY"
                           << "-3"
                           << "-3" << false << true;
    QTest::newRow("truth value") << "BOOLEAN"
                                 << "1"
                                 << "vrai" << false << true;
    QTest::newRow("ill-formed bytes read as U+FFFD")
        << "VARCHAR(20)"
        << "CAST(X'41C0' AS TEXT)" << QString(QChar(0xFFFD)) << true << true;
    QTest::newRow("byte order mark dropped") << "VARCHAR(20)"
                                             << "CAST(X'EFBBBF41' AS TEXT)" << QString(QChar(0xFEFF)) << true << false;
    QTest::newRow("binary contents as the grid shows them") << "BLOB"
                                                            << "X'4142'"
                                                            << "blob" << false << true;
    QTest::newRow("not the bytes of binary contents") << "BLOB"
                                                      << "X'4142'"
                                                      << "AB" << true << false;
    QTest::newRow("null holds nothing") << "VARCHAR(20)"
                                        << "NULL"
                                        << " " << false << false;
    QTest::newRow("past the grid's cut") << "TEXT"
                                         << "'a' || char(10) || printf('%.300c', 'x') || 'fin'"
                                         << "xfin" << false << true;
}

void TestDBGrid::searchMatchesTextShown()
{
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(QString, text);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, found);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v %1); INSERT INTO t VALUES (%2)").arg(column, value));
    const CellSearch search(text, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    const TField& field = *f.query.field(0);
    QCOMPARE(search.matches(field, field.cellAt(0)), found);
    // The same answer as the whole text shown would give.
    QCOMPARE(field.shownText(field.cellAt(0)).contains(text, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive),
        found);
    const auto place = search.find(f.query, { 0 }, {}, false);
    QCOMPARE(place.has_value(), found);
}

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
