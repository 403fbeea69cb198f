#include "QueryFixture.h"
#include "Raised.h"
#include "RecordingPrinter.h"
#include "WidestValues.h"
#include "export/kds2prn.h"

#include <QTest>
#include <memory>

using Text = RecordingPrinter::Text;
using Kind = RecordingPrinter::Call::Kind;
Q_DECLARE_METATYPE(QList<Text>)

namespace
{

const PrintFont body = TKDatasetToPrinter::bodyFont();
const PrintFont bold { body.name, body.size, FontStyle::Bold, body.hint };
const PrintFont title = TKDatasetToPrinter::titleFont();

// The recording printer at 600 dpi: 23 pixels per millimetre, so columns start at
// x = 230 and the first header line at y = 115; a body character is 50 pixels wide
// and a line 100 + 23 = 123 pixels high. Without header or title the column titles
// stand at 115 + 2 × 123 = 361 and the first row at 484.
struct Listing : QueryFixture {
    TKDatasetToPrinter component;
    RecordingPrinter printer;

    explicit Listing(const QString& setup, const QString& select = QStringLiteral("SELECT * FROM t"))
        : QueryFixture(setup, select)
    {
        component.setDataSet(&query);
        component.setPrinter(&printer);
    }
};

QString numbers(int rows, const QString& type = QStringLiteral("INTEGER"))
{
    return QStringLiteral("CREATE TABLE t (id %1);"
                          "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %2)"
                          " INSERT INTO t SELECT n FROM c WHERE n <= %2")
        .arg(type)
        .arg(rows);
}

} // namespace

// The printed listing on the recording printer: layout, page breaks, errors, cancelling.
class TestDatasetToPrinter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void pageHead_data();
    void pageHead();
    void pageBreaks_data();
    void pageBreaks();
    void columns_data();
    void columns();
    void centredLinesHalveTowardZero_data();
    void centredLinesHalveTowardZero();
    void marginsFollowResolution_data();
    void marginsFollowResolution();
    void measuresInTheCanvasFont();
    void wideColumnsMeasureNoMoreThanAPage_data();
    void wideColumnsMeasureNoMoreThanAPage();
    void valuesEndASpaceBeforeNextColumn_data() { addWidestValueRows(); }
    void valuesEndASpaceBeforeNextColumn();
    void errorsBeginNoJob_data();
    void errorsBeginNoJob();
    void secondJobWhileOneRunsFails_data();
    void secondJobWhileOneRunsFails();
    void cancelAbortsJobAndWalksOn();
    void dataSetClosedDuringJobDropsIt();
    void cursorMovedDuringJobPrintsEveryRowOnce_data();
    void cursorMovedDuringJobPrintsEveryRowOnce();
};

void TestDatasetToPrinter::pageHead_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("footer");
    QTest::addColumn<QList<Text>>("expected");

    const QList<Text> bareRows { { "id", 230, 361, bold }, { "nom", 780, 361, bold }, { "7", 230, 484, body },
        { "Dupont", 780, 484, body } };
    QTest::newRow("bare") << QStringList() << QString() << QStringList() << bareRows;
    QTest::newRow("title only") << QStringList() << "Patients" << QStringList()
                                << QList<Text> { { "Patients", 2016, 361, title }, { "id", 230, 607, bold },
                                       { "nom", 780, 607, bold }, { "7", 230, 730, body },
                                       { "Dupont", 780, 730, body } };
    QTest::newRow("footer only") << QStringList() << QString() << QStringList { "Pied", "fin" }
                                 << bareRows
            + QList<Text> { { "Pied", 2300, 6544, body }, { "fin", 2325, 6667, body } };
    QTest::newRow("everything") << QStringList { "Cabinet", "Liste" } << "Patients" << QStringList { "Page" }
                                << QList<Text> { { "Cabinet", 2225, 115, body }, { "Liste", 2275, 238, body },
                                       { "Patients", 2016, 607, title }, { "id", 230, 853, bold },
                                       { "nom", 780, 853, bold }, { "7", 230, 976, body }, { "Dupont", 780, 976, body },
                                       { "Page", 2300, 6667, body } };
}

void TestDatasetToPrinter::pageHead()
{
    QFETCH(QStringList, header);
    QFETCH(QString, caption);
    QFETCH(QStringList, footer);
    QFETCH(QList<Text>, expected);
    Listing l(QStringLiteral("CREATE TABLE t (id INTEGER, nom VARCHAR(12)); INSERT INTO t VALUES (7, 'Dupont')"));
    l.component.setHeader(header);
    l.component.setTitle(caption);
    l.component.setFooter(footer);
    l.component.Print();
    QCOMPARE(l.printer.pages(), QList<QList<Text>> { expected });
    QCOMPARE(l.printer.kinds().first(), Kind::Begin);
    QCOMPARE(l.printer.kinds().last(), Kind::End);
    QVERIFY(l.query.eof());
}

void TestDatasetToPrinter::pageBreaks_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("footerLines");
    QTest::addColumn<QList<int>>("rowsPerPage");
    // A page holds rows while the next one would end at 6800 − footer zone at most:
    // 51 rows without footer (the 51st ends at 6757), 49 with two footer lines.
    const QString integer = QStringLiteral("INTEGER");
    QTest::newRow("empty") << 0 << integer << 0 << QList<int> { 0 };
    QTest::newRow("empty with footer") << 0 << integer << 2 << QList<int> { 0 };
    QTest::newRow("one short of full") << 50 << integer << 0 << QList<int> { 50 };
    QTest::newRow("last row fills the page") << 51 << integer << 0 << QList<int> { 51, 0 };
    QTest::newRow("one row over") << 52 << integer << 0 << QList<int> { 51, 1 };
    QTest::newRow("two full pages") << 102 << integer << 0 << QList<int> { 51, 51, 0 };
    QTest::newRow("footer zone, one short") << 48 << integer << 2 << QList<int> { 48 };
    QTest::newRow("footer zone, full") << 49 << integer << 2 << QList<int> { 49, 0 };
    QTest::newRow("no column still advances") << 52 << "BLOB" << 0 << QList<int> { 0, 0 };
}

void TestDatasetToPrinter::pageBreaks()
{
    QFETCH(int, rows);
    QFETCH(QString, type);
    QFETCH(int, footerLines);
    QFETCH(QList<int>, rowsPerPage);
    Listing l(numbers(rows, type));
    const QStringList footer = QStringList { "Pied", "fin" }.mid(0, footerLines);
    l.component.setFooter(footer);
    l.component.Print();

    const auto pages = l.printer.pages();
    QCOMPARE(pages.size(), rowsPerPage.size());
    QCOMPARE(l.printer.kinds().count(Kind::NewPage), pages.size() - 1);
    int next = 1;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QList<Text> expected;
        if (type == QLatin1String("INTEGER"))
            expected << Text { "id", 230, 361, bold };
        for (int r = 0; r < rowsPerPage[p]; ++r, ++next)
            expected << Text { QString::number(next), 230, 484 + 123 * r, body };
        for (int f = 0; f < footerLines; ++f)
            expected << Text { footer[f], (4800 - 50 * int(footer[f].size())) / 2, 6800 - 246 - 10 + 123 * f, body };
        QCOMPARE(pages[p], expected);
    }
}

void TestDatasetToPrinter::columns_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("hidden");
    QTest::addColumn<QList<Text>>("expected");
    // Columns are 10 characters wide plus a space (550) for numbers, the declared
    // size plus one for text.
    QTest::newRow("invisible and blob fields take no column; a value runs over")
        << "CREATE TABLE t (a INTEGER, b BLOB, c TEXT, d VARCHAR(3), e INTEGER, f REAL);"
           "INSERT INTO t VALUES (1, x'41', 'memo', 'abcdefghij', 5, 2.5)"
        << "SELECT * FROM t"
        << "e"
        << QList<Text> { { "a", 230, 361, bold }, { "d", 780, 361, bold }, { "f", 980, 361, bold },
               { "1", 230, 484, body }, { "abcdefghij", 780, 484, body }, { "2,5", 980, 484, body } };
    QTest::newRow("same names from two tables") << "CREATE TABLE a (id INTEGER); CREATE TABLE b (id INTEGER);"
                                                   "INSERT INTO a VALUES (1); INSERT INTO b VALUES (2)"
                                                << "SELECT a.id, b.id FROM a, b" << QString()
                                                << QList<Text> { { "id", 230, 361, bold }, { "id", 780, 361, bold },
                                                       { "1", 230, 484, body }, { "2", 780, 484, body } };
    QTest::newRow("names differing in letter case") << "CREATE TABLE t (n INTEGER)"
                                                    << "SELECT 1 AS x, 2 AS X" << QString()
                                                    << QList<Text> { { "x", 230, 361, bold }, { "X", 780, 361, bold },
                                                           { "1", 230, 484, body }, { "2", 780, 484, body } };
}

void TestDatasetToPrinter::columns()
{
    QFETCH(QString, setup);
    QFETCH(QString, select);
    QFETCH(QString, hidden);
    QFETCH(QList<Text>, expected);
    Listing l(setup, select);
    if (!hidden.isEmpty())
        l.query.FindField(hidden)->setVisible(false);
    l.component.Print();
    QCOMPARE(l.printer.pages(), QList<QList<Text>> { expected });
}

void TestDatasetToPrinter::centredLinesHalveTowardZero_data()
{
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<int>("characters");
    QTest::addColumn<int>("x");
    QTest::newRow("odd spare pixel dropped") << 4799 << 3 << 2324;
    QTest::newRow("wider than the page") << 4799 << 116 << -500;
    QTest::newRow("as wide as the page") << 4800 << 96 << 0;
}

void TestDatasetToPrinter::centredLinesHalveTowardZero()
{
    QFETCH(int, pageWidth);
    QFETCH(int, characters);
    QFETCH(int, x);
    Listing l(numbers(0));
    l.printer.width = pageWidth;
    const QString line(characters, u'w');
    l.component.setHeader({ line });
    l.component.setFooter({ line });
    l.component.Print();
    const QList<Text> expected { { line, x, 115, body }, { "id", 230, 484, bold }, { line, x, 6800 - 123 - 10, body } };
    QCOMPARE(l.printer.pages(), QList<QList<Text>> { expected });
}

void TestDatasetToPrinter::marginsFollowResolution_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("leftMargin");
    QTest::addColumn<int>("topMargin");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("lineHeight");
    QTest::newRow("72 dpi") << 72 << 10 << 5 << 20 << 10 << 102;
    QTest::newRow("96 dpi") << 96 << 10 << 5 << 30 << 15 << 103;
    QTest::newRow("300 dpi") << 300 << 10 << 5 << 110 << 55 << 111;
    QTest::newRow("600 dpi, other margins") << 600 << 20 << 0 << 460 << 0 << 123;
}

void TestDatasetToPrinter::marginsFollowResolution()
{
    QFETCH(int, dpi);
    QFETCH(int, leftMargin);
    QFETCH(int, topMargin);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, lineHeight);
    Listing l(numbers(1));
    l.printer.dpi = dpi;
    l.component.setLeftMargin(leftMargin);
    l.component.setTopMargin(topMargin);
    l.component.setHeader({ "Liste" });
    l.component.Print();
    const QList<Text> expected { { "Liste", 2275, y, body }, { "id", x, y + 3 * lineHeight, bold },
        { "1", x, y + 4 * lineHeight, body } };
    QCOMPARE(l.printer.pages(), QList<QList<Text>> { expected });
}

void TestDatasetToPrinter::measuresInTheCanvasFont()
{
    // Nothing is selected before measuring: a canvas left in 16-point bold gives
    // columns of 11 × 96 pixels and lines of 160 + 23. The job leaves the body font.
    Listing l(QStringLiteral("CREATE TABLE t (a INTEGER, b INTEGER); INSERT INTO t VALUES (1, 2)"));
    l.printer.canvas().selectFont(title);
    l.component.Print();
    QCOMPARE(l.printer.pages()[0].mid(1, 2), (QList<Text> { { "b", 1286, 481, bold }, { "1", 230, 664, body } }));
    QCOMPARE(l.printer.canvas().font(), body);
    l.component.Print();
    QCOMPARE(l.printer.pages()[0].mid(1, 2), (QList<Text> { { "b", 780, 361, bold }, { "1", 230, 484, body } }));
}

void TestDatasetToPrinter::wideColumnsMeasureNoMoreThanAPage_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("widerThanPage");
    // The page is 4800 pixels wide: 96 body characters.
    QTest::newRow("as wide as the page") << "VARCHAR(95)" << false;
    QTest::newRow("wider than the page") << "VARCHAR(100000)" << true;
    QTest::newRow("declared two billion wide") << "VARCHAR(2000000000)" << true;
    QTest::newRow("largest decimal precision") << "DECIMAL(2147483647)" << true;
}

void TestDatasetToPrinter::wideColumnsMeasureNoMoreThanAPage()
{
    QFETCH(QString, type);
    QFETCH(bool, widerThanPage);
    Listing l(QStringLiteral("CREATE TABLE t (w %1, n INTEGER); INSERT INTO t VALUES ('x', 1)").arg(type));
    l.component.Print();
    const QList<Text> page = l.printer.pages().value(0);
    QCOMPARE(page.size(), 4);
    QCOMPARE(page[2], (Text { "x", 230, 484, body }));
    // The next column starts where the wide one ends: past the page, or exactly
    // 96 characters and a space on.
    if (widerThanPage)
        QVERIFY2(page[1].x >= 4800, qPrintable(QString::number(page[1].x)));
    else
        QCOMPARE(page[1], (Text { "n", 230 + 96 * 50, 361, bold }));
    qsizetype longest = 0;
    for (const RecordingPrinter::Call& call : l.printer.calls)
        if (call.kind == Kind::TextWidth)
            longest = qMax(longest, call.text.size());
    QVERIFY2(longest <= 96 + 3, qPrintable(QString::number(longest)));
}

void TestDatasetToPrinter::valuesEndASpaceBeforeNextColumn()
{
    QFETCH(QString, locale);
    QFETCH(QString, setup);
    const DefaultLocale settings(locale);
    Listing l(setup);
    l.component.Print();
    const QList<Text> page = l.printer.pages().value(0);
    QCOMPARE(page.value(1).text, QStringLiteral("n"));
    const int next = page[1].x;
    PrintCanvas& canvas = l.printer.canvas();
    const int space = canvas.textWidth(QStringLiteral(" "));
    for (const Text& value : page.mid(2))
        if (value.x < next)
            QVERIFY2(value.x + canvas.textWidth(value.text) + space <= next, qPrintable(value.text));
}

void TestDatasetToPrinter::errorsBeginNoJob_data()
{
    QTest::addColumn<QString>("dataSet");
    QTest::addColumn<QString>("message");
    QTest::newRow("no data set") << "none"
                                 << "Dataset is not specified";
    QTest::newRow("data set destroyed") << "destroyed"
                                        << "Dataset is not specified";
    QTest::newRow("closed data set") << "closed"
                                     << "Dataset is not active";
}

void TestDatasetToPrinter::errorsBeginNoJob()
{
    QFETCH(QString, dataSet);
    QFETCH(QString, message);
    Listing l(numbers(3));
    l.query.close();
    if (dataSet == u"none")
        l.component.setDataSet(nullptr);
    if (dataSet == u"destroyed")
        l.component.setDataSet(std::make_unique<TQuery>().get());
    const Raised failure = raised([&] { l.component.Print(); });
    QCOMPARE(failure.kind, QStringLiteral("TKDBExportError"));
    QCOMPARE(failure.message, message);
    QVERIFY(l.printer.calls.isEmpty());
}

void TestDatasetToPrinter::secondJobWhileOneRunsFails_data()
{
    QTest::addColumn<bool>("sameListing");
    QTest::newRow("another listing on the busy printer") << false;
    QTest::newRow("the busy listing, given a new printer and handler") << true;
}

void TestDatasetToPrinter::secondJobWhileOneRunsFails()
{
    // A second print arriving while the first one runs (its progress lets events
    // through) fails; the first goes on to its end with its own printer and handler.
    QFETCH(bool, sameListing);
    Listing l(numbers(60));
    TKDatasetToPrinter other;
    other.setDataSet(&l.query);
    other.setPrinter(&l.printer);
    TKDatasetToPrinter& second = sameListing ? l.component : other;
    RecordingPrinter newPrinter;
    QStringList errors;
    l.component.setOnProgress([&](qsizetype, qsizetype) {
        second.setPrinter(sameListing ? &newPrinter : &l.printer);
        second.setOnProgress([](qsizetype, qsizetype) { return false; });
        const Raised failure = raised([&] { second.Print(); });
        errors << failure.kind + QLatin1Char(' ') + failure.message;
        return true;
    });
    l.component.Print();
    QCOMPARE(errors, QStringList(3, QStringLiteral("EPrinter Impression en cours")));
    QCOMPARE(l.printer.kinds().count(Kind::Begin), 1);
    QCOMPARE(l.printer.pages().size(), 2);
    QVERIFY(!l.printer.aborted());
    QVERIFY(newPrinter.calls.isEmpty());
}

void TestDatasetToPrinter::cancelAbortsJobAndWalksOn()
{
    // Cancelled at the first page break: the printer reports the job aborted, no page
    // follows, and the walk still ends at the end of the data.
    Listing l(numbers(120));
    QList<qsizetype> reported;
    l.component.setOnProgress([&](qsizetype done, qsizetype total) {
        reported << done << total;
        return done == 0;
    });
    l.component.Print();
    QCOMPARE(reported, (QList<qsizetype> { 0, 120, 51, 120 }));
    const auto kinds = l.printer.kinds();
    QCOMPARE(kinds.count(Kind::NewPage), 1);
    QCOMPARE(kinds.count(Kind::Abort), 1);
    QVERIFY(kinds.indexOf(Kind::NewPage) < kinds.indexOf(Kind::Abort));
    QCOMPARE(kinds.last(), Kind::End);
    QVERIFY(l.printer.aborted());
    QVERIFY(!l.printer.printing());
    QVERIFY(l.query.eof());
}

void TestDatasetToPrinter::dataSetClosedDuringJobDropsIt()
{
    Listing l(numbers(60));
    l.component.setOnProgress([&](qsizetype done, qsizetype) {
        if (done > 0)
            l.query.close();
        return true;
    });
    const Raised failure = raised([&] { l.component.Print(); });
    QCOMPARE(failure.kind, QStringLiteral("TKDBExportError"));
    QCOMPARE(failure.message, QStringLiteral("Dataset changed while printing"));
    QVERIFY(l.printer.aborted());
    QVERIFY(!l.printer.printing());
}

void TestDatasetToPrinter::cursorMovedDuringJobPrintsEveryRowOnce_data()
{
    // Where a click on the grid puts the shared cursor while the job lets events through.
    QTest::addColumn<int>("clickedRow");
    QTest::newRow("first row") << 0;
    QTest::newRow("a row further on") << 100;
    QTest::newRow("last row") << 119;
}

void TestDatasetToPrinter::cursorMovedDuringJobPrintsEveryRowOnce()
{
    QFETCH(int, clickedRow);
    Listing l(numbers(120));
    l.component.setOnProgress([&](qsizetype, qsizetype) {
        l.query.moveTo(clickedRow);
        return true;
    });
    l.component.Print();

    QStringList printed;
    for (const auto& page : l.printer.pages())
        for (const Text& t : page)
            if (t.font == body)
                printed << t.text;
    QStringList expected;
    for (int n = 1; n <= 120; ++n)
        expected << QString::number(n);
    QCOMPARE(printed, expected);
    // The listing leaves the cursor at the end of data, on the last row.
    QVERIFY(l.query.eof());
    QCOMPARE(l.query.recNo(), 119);
}

QTEST_MAIN(TestDatasetToPrinter)
#include "tst_kds2prn.moc"
