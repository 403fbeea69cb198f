#include "ExportedFiles.h"
#include "Golden.h"
#include "QueryFixture.h"
#include "Raised.h"
#include "RecordingPrinter.h"
#include "export/CurrencyText.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"
#include "export/kds2prn.h"
#include "platform/Windows1252.h"
#include "ui/widgets/DBGrid.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Windows1252::Unmappable;

namespace
{

// One value stored in a column of the given type, opened by a query.
struct OneValue : QueryFixture {
    OneValue(const QString& type, const QString& value)
        : QueryFixture(QStringLiteral("CREATE TABLE t (v %1); INSERT INTO t VALUES (%2)").arg(type, value))
    {
    }
};


QString printedValue(TDataSet& data)
{
    RecordingPrinter printer;
    TKDatasetToPrinter listing;
    listing.setDataSet(&data);
    listing.setPrinter(&printer);
    listing.Print();
    return printer.pages().value(0).value(1).text;
}

QString replacements(int count)
{
    return QString(count, QChar(0xFFFD));
}

} // namespace

// Values as a database may hold them (ill-formed UTF-8, markup, dates with more after
// them, numbers at the edges of their types) read the same in the grid, the capture,
// the printed listing and both exports.
class TestValues : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void everyOutputShowsTheSameText_data();
    void everyOutputShowsTheSameText();
    void currencyOutsideItsRangeStopsTheExport_data();
    void currencyOutsideItsRangeStopsTheExport();
};

void TestValues::everyOutputShowsTheSameText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("overlong markup in a memo")
        << "TEXT"
        << "CAST(X'C0BC736372697074C0BE' AS TEXT)" << replacements(2) + "script" + replacements(2);
    QTest::newRow("overlong quote") << "VARCHAR(10)"
                                    << "CAST(X'41C0A242' AS TEXT)"
                                    << "A" + replacements(2) + "B";
    QTest::newRow("overlong NUL") << "VARCHAR(10)"
                                  << "CAST(X'41C08042' AS TEXT)"
                                  << "A" + replacements(2) + "B";
    QTest::newRow("surrogate") << "VARCHAR(10)"
                               << "CAST(X'EDA080' AS TEXT)" << replacements(3);
    QTest::newRow("above U+10FFFF") << "TEXT"
                                    << "CAST(X'F4908080' AS TEXT)" << replacements(4);
    QTest::newRow("cut at the end") << "VARCHAR(10)"
                                    << "CAST(X'61E282' AS TEXT)"
                                    << "a" + replacements(2);
    QTest::newRow("byte order mark") << "VARCHAR(10)"
                                     << "CAST(X'EFBBBF61' AS TEXT)"
                                     << "a";
    QTest::newRow("markup") << "VARCHAR(20)"
                            << "'<b>\"x\" & y</b>'"
                            << "<b>\"x\" & y</b>";
    QTest::newRow("outside the code page") << "VARCHAR(20)"
                                           << "'Łódź 😀'"
                                           << "Łódź 😀";
    QTest::newRow("control characters outside the code page") << "VARCHAR(10)"
                                                              << "CAST(X'C280C292C29C' AS TEXT)"
                                                              << "\u0080\u0092\u009c";

    // A date is shown in the regional form only when the text is wholly one.
    QTest::newRow("date") << "DATE"
                          << "'2024-01-31'"
                          << "31/01/2024";
    QTest::newRow("date and junk") << "DATE"
                                   << "'2024-01-01junk'"
                                   << "2024-01-01junk";
    QTest::newRow("date and a stray byte") << "DATE"
                                           << "CAST(X'323032342D30312D3031FF' AS TEXT)"
                                           << "2024-01-01" + replacements(1);
    QTest::newRow("date and a space") << "DATE"
                                      << "'2024-01-01 '"
                                      << "2024-01-01 ";
    QTest::newRow("date and a time") << "DATE"
                                     << "'2024-01-01 10:00:00'"
                                     << "01/01/2024";
    QTest::newRow("date, T and a time") << "DATE"
                                        << "'2024-01-01T10:00:00.250Z'"
                                        << "01/01/2024";
    QTest::newRow("date and no time") << "DATE"
                                      << "'2024-01-01 25:00'"
                                      << "2024-01-01 25:00";
    QTest::newRow("date with slashes") << "DATE"
                                       << "'2024/01/01'"
                                       << "2024/01/01";
    QTest::newRow("day outside the month") << "DATE"
                                           << "'2023-02-29'"
                                           << "2023-02-29";
    QTest::newRow("time") << "TIME"
                          << "'10:30:15.250'"
                          << "10:30:15";
    QTest::newRow("time and a zone") << "TIME"
                                     << "'10:30+01:00'"
                                     << "10:30:00";
    QTest::newRow("time and junk") << "TIME"
                                   << "'10:30junk'"
                                   << "10:30junk";
    QTest::newRow("hour only") << "TIME"
                               << "'10'"
                               << "10";
    QTest::newRow("end of day") << "TIME"
                                << "'24:00'"
                                << "24:00";
    QTest::newRow("date-time") << "DATETIME"
                               << "'2024-03-07 10:30'"
                               << "07/03/2024 10:30:00";
    QTest::newRow("date-time, date only") << "DATETIME"
                                          << "'2024-03-07'"
                                          << "07/03/2024 00:00:00";
    QTest::newRow("date-time and a zone") << "DATETIME"
                                          << "'2024-03-07T23:30:00-05:00'"
                                          << "07/03/2024 23:30:00";
    QTest::newRow("date-time and junk") << "DATETIME"
                                        << "'2024-03-07 10:30x'"
                                        << "2024-03-07 10:30x";
    QTest::newRow("date-time and a stray byte") << "DATETIME"
                                                << "CAST(X'323032342D30332D30372031303A3330C0' AS TEXT)"
                                                << "2024-03-07 10:30" + replacements(1);

    QTest::newRow("truth value between blanks") << "BOOLEAN"
                                                << "' oui '"
                                                << "Vrai";
    QTest::newRow("no truth value") << "BOOLEAN"
                                    << "'ouiii'"
                                    << "ouiii";
    QTest::newRow("smallest integer") << "INTEGER"
                                      << "-9223372036854775808"
                                      << "-9223372036854775808";
    QTest::newRow("largest integer") << "INTEGER"
                                     << "9223372036854775807"
                                     << "9223372036854775807";
    QTest::newRow("negative zero") << "REAL"
                                   << "-0.0"
                                   << "0";
    QTest::newRow("infinity") << "REAL"
                              << "9e999"
                              << "inf";
    QTest::newRow("negative infinity") << "REAL"
                                       << "-9e999"
                                       << "-inf";
    QTest::newRow("subnormal") << "REAL"
                               << "4.9406564584124654e-324"
                               << "4,94065645841247e-324";
    QTest::newRow("largest real") << "REAL"
                                  << "1.7976931348623157e308"
                                  << "1,79769313486232e+308";
    QTest::newRow("huge real in an integer column") << "INTEGER"
                                                    << "1e300"
                                                    << "1e+300";
    QTest::newRow("amount with sixteen digits") << "MONEY"
                                                << "123456789012.3456"
                                                << "123456789012,3456";
    QTest::newRow("amount with a fifth decimal") << "MONEY"
                                                 << "-1.23456"
                                                 << "-1,2346";
    QTest::newRow("amount far below a cent") << "MONEY"
                                             << "0.00001"
                                             << "0";
}

void TestValues::everyOutputShowsTheSameText()
{
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, text);
    OneValue v(type, value);
    TField* field = v.query.field(0);

    // The capture, the memo and mail take the field's text.
    QCOMPARE(field->asString(), text);

    DataSetModel grid;
    grid.setDataSet(&v.query);
    QCOMPARE(grid.data(grid.index(0, 0), Qt::DisplayRole).toString(), text);

    // Listings leave out the blob kinds, memos included.
    if (!isBlobType(field->dataType()))
        QCOMPARE(printedValue(v.query), text);

    const auto [lines, side] = textFiles(v.query);
    if (isMemoType(field->dataType())) {
        QCOMPARE(side, Windows1252::encode(text));
        QCOMPARE(lines, "\"" + QByteArray::number(side.size()) + "\"\r\n");
    } else {
        QCOMPARE(lines, "\"" + Windows1252::encode(text, Unmappable::QuotedText) + "\"\r\n");
    }

    // The HTML export writes amounts in the currency style.
    QByteArray shown = Windows1252::encode(text, Unmappable::HtmlText);
    if (field->dataType() == ftCurrency) {
        shown.clear();
        CurrencyText(QLocale()).append(shown, field->asCurrency());
    }
    const QByteArray cell = "<td nowrap  >" + shown + " </td>";
    QVERIFY2(htmlDocument(v.query).contains(cell), cell.constData());
}

void TestValues::currencyOutsideItsRangeStopsTheExport_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    // The range: the value × 10,000 and its opposite fit a qint64.
    QTest::newRow("smallest integer") << "-9223372036854775808"
                                      << "-9223372036854775808";
    QTest::newRow("one above the largest amount") << "922337203685478"
                                                  << "922337203685478";
    QTest::newRow("one below the smallest amount") << "-922337203685478"
                                                   << "-922337203685478";
    QTest::newRow("largest amount and a fraction too many") << "'922337203685477,9999'"
                                                            << "922337203685477,9999";
    QTest::newRow("smallest amount and a fraction too many") << "'-922337203685477,9999'"
                                                             << "-922337203685477,9999";
    QTest::newRow("real above the range") << "930000000000000.25"
                                          << "930000000000000";
    QTest::newRow("infinity") << "9e999"
                              << "inf";
    QTest::newRow("not a number") << "'abc'"
                                  << "abc";
}

void TestValues::currencyOutsideItsRangeStopsTheExport()
{
    QFETCH(QString, value);
    QFETCH(QString, text);
    OneValue v(QStringLiteral("MONEY"), value);
    const QString message = QStringLiteral("'%1' n'est pas une valeur monétaire valide").arg(text);
    QCOMPARE(raised([&] { v.query.field(0)->asCurrency(); }).message, message);

    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.htm"));
    QVERIFY(writeFile(page, "old"));
    TKDataSetToHTML html;
    html.setDataSet(&v.query);
    QCOMPARE(raised([&] { html.ExportToFile(page); }).message, message);
    QCOMPARE(fileBytes(page), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "page.htm" });
}

QTEST_MAIN(TestValues)
#include "tst_values.moc"
