#include "FileFailures.h"
#include "FileKinds.h"
#include "FileState.h"
#include "Golden.h"
#include "QueryFixture.h"
#include "QueryWindow.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "WidestValues.h"
#include "app/ResultCopy.h"
#include "app/ResultExport.h"
#include "export/CsvExport.h"
#include "export/XlsxExport.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>
#include <clocale>

namespace
{

// A Python 3 that reads workbooks: Debian's python3-openpyxl goes with the system's
// interpreter, which another one on the PATH may hide.
QString python()
{
    static const QString found = [] {
        for (const QString& candidate : { QStringLiteral("/usr/bin/python3"), QStringLiteral("python3") }) {
            QProcess probe;
            probe.start(candidate, { QStringLiteral("-c"), QStringLiteral("import openpyxl") });
            if (probe.waitForFinished() && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
                return candidate;
        }
        return QString();
    }();
    return found;
}

// The files are read back by the host's Python, which a Windows build's tests, run
// under Wine, have not: there the tests that read back skip.
#ifdef Q_OS_WIN
constexpr bool kReadsBack = false;
#else
constexpr bool kReadsBack = true;
#endif
constexpr const char* kNoReadBack = "read back by python3-openpyxl, which a Windows program has not";

// What readback.py makes of a file: the workbook's sheets, or the CSV file.
QJsonDocument readBack(const QStringList& arguments)
{
    QProcess python;
    python.start(::python(),
        QStringList { qEnvironmentVariable("VELOSQL_TEST_DATA") + QStringLiteral("/sheets/readback.py") } + arguments);
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        qWarning("readback.py: %s", python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput());
}

QJsonArray readWorkbook(const QString& path)
{
    return readBack({ QStringLiteral("xlsx"), path }).array();
}

// A cell as readback.py gives it: "type|value|number format".
QString cellOf(const QJsonArray& sheets, int sheet, int row, int column)
{
    const QJsonArray cell = sheets[sheet][QStringLiteral("rows")][row][column].toArray();
    // A null writes no cell at all.
    if (cell.isEmpty())
        return QStringLiteral("none||General");
    return QStringLiteral("%1|%2|%3").arg(cell[0].toString(), cell[1].toString(), cell[2].toString());
}

// Sets the C library's numbers to French (a decimal comma), as Qt does at start under
// LANG=fr_FR.UTF-8; the locale is made in folder when the system has none. False when
// none can be had.
bool frenchNumbers(const QTemporaryDir& folder)
{
    if (setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        return true;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
        { QStringLiteral("-i"), QStringLiteral("fr_FR"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
            folder.filePath(QStringLiteral("fr_FR.UTF-8")) });
    if (!localedef.waitForFinished(120000))
        return false;
    qputenv("LOCPATH", QFile::encodeName(folder.path()));
    const bool made = setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
    // Loaded: the folder is needed no more, and the C library's newlocale, which the
    // export calls, leaks a copy of LOCPATH each time it finds one set.
    qunsetenv("LOCPATH");
    return made;
}

const QString kTypes = QStringLiteral(
    "CREATE TABLE t (id INTEGER, nom VARCHAR(40), prix MONEY, vu DATE, note TEXT, doc BLOB);"
    "INSERT INTO t VALUES (1, '=1+1', 1234.5, '2024-03-07', 'ligne 1' || char(13, 10) || 'ligne \"2\"', x'000102'),"
    " (2, 'Łódź; €', -0.5, NULL, NULL, NULL), (3, 'virgule, point.', NULL, '1850-01-01', '', x'')");

} // namespace

// The exports for spreadsheets: the workbook and the CSV file read back by the programs
// a user opens them with, their file-format interface, and failures that leave
// nothing behind.
class TestSheetExports : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void workbookCellsKeepTheirType_data();
    void workbookCellsKeepTheirType();
    void workbookNumbersWhateverTheCLocale();
    void workbookHeaderAndColumns();
    void longResultGoesOnToFurtherSheets();
    void csvValuesReadBackIntact_data();
    void csvValuesReadBackIntact();
    void failureLeavesNothingBehind_data();
    void failureLeavesNothingBehind();
    void fullDiskKeepsOldWorkbook();
    void pipeGetsTheWholeWorkbook();
    void commandsAskThenWrite_data();
    void commandsAskThenWrite();
};

void TestSheetExports::initTestCase()
{
    initTestEnvironment();
    if (!XlsxExport::available())
        QSKIP("built without libxlsxwriter");
    if (kReadsBack)
        QVERIFY2(!python().isEmpty(), "the tests read workbooks with python3-openpyxl");
}

void TestSheetExports::workbookCellsKeepTheirType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("cell");
    QTest::newRow("integer") << "INTEGER"
                             << "42"
                             << "int|42|General";
    QTest::newRow("integer beyond a spreadsheet's digits, as text") << "INTEGER"
                                                                    << "9007199254740993"
                                                                    << "str|9007199254740993|General";
    QTest::newRow("float") << "REAL"
                           << "70.25"
                           << "float|70.25|General";
    QTest::newRow("exact decimal") << "DECIMAL(10,2)"
                                   << "'123.45'"
                                   << "float|123.45|General";
    QTest::newRow("amount in the user's currency") << "MONEY"
                                                   << "1234.5"
                                                   << "float|1234.5|#,##0.00 \"€\"";
    QTest::newRow("no amount, as text") << "MONEY"
                                        << "'beaucoup'"
                                        << "str|beaucoup|General";
    QTest::newRow("date") << "DATE"
                          << "'2024-03-07'"
                          << "datetime|2024-03-07T00:00:00|yyyy-mm-dd";
    QTest::newRow("first day a spreadsheet counts") << "DATE"
                                                    << "'1900-01-01'"
                                                    << "datetime|1900-01-01T00:00:00|yyyy-mm-dd";
    QTest::newRow("day after the leap day that never was") << "DATE"
                                                           << "'1900-03-01'"
                                                           << "datetime|1900-03-01T00:00:00|yyyy-mm-dd";
    QTest::newRow("date before 1900, as text") << "DATE"
                                               << "'1850-01-01'"
                                               << "str|1850-01-01|General";
    QTest::newRow("date-time") << "DATETIME"
                               << "'2024-03-07 10:30:15'"
                               << "datetime|2024-03-07T10:30:15|yyyy-mm-dd hh:mm:ss";
    QTest::newRow("time") << "TIME"
                          << "'10:30:15'"
                          << "time|10:30:15|hh:mm:ss";
    QTest::newRow("truth value") << "BOOLEAN"
                                 << "1"
                                 << "bool|True|General";
    QTest::newRow("truth value spelt") << "BOOLEAN"
                                       << "'non'"
                                       << "bool|False|General";
    QTest::newRow("formula stays text") << "VARCHAR(20)"
                                        << "'=1+1'"
                                        << "str|=1+1|General";
    QTest::newRow("memo whole, line breaks kept") << "TEXT"
                                                  << "'a' || char(10) || 'b'"
                                                  << "str|a\nb|General";
    QTest::newRow("memo cut at the cell's 32,767 characters")
        << "TEXT"
        << "printf('%.40000c', 'x')" << QStringLiteral("str|%1|General").arg(QString(32767, u'x'));
    // Escaped as the format says, which keeps the file readable; Excel and Calc read the
    // character back, openpyxl shows the escape.
    QTest::newRow("control character") << "TEXT"
                                       << "'a' || char(1) || 'b'"
                                       << "str|a_x0001_b|General";
    QTest::newRow("zero character") << "TEXT"
                                    << "'a' || char(0) || 'b'"
                                    << "str|a\uFFFDb|General";
    QTest::newRow("blob by its size") << "BLOB"
                                      << "x'00010203'"
                                      << "int|4|General";
    QTest::newRow("null") << "INTEGER"
                          << "NULL"
                          << "none||General";
}

void TestSheetExports::workbookCellsKeepTheirType()
{
    if (!kReadsBack)
        QSKIP(kNoReadBack);
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, cell);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v %1); INSERT INTO t VALUES (%2)").arg(type, value));
    QTemporaryDir dir;
    XlsxExport book;
    book.setDataSet(&f.query);
    QVERIFY(book.ExportToFile(dir.filePath(QStringLiteral("r.xlsx"))));
    const QJsonArray sheets = readWorkbook(dir.filePath(QStringLiteral("r.xlsx")));
    QCOMPARE(cellOf(sheets, 0, 1, 0), cell);
}

// The library writes numbers with printf, which follows the C library's locale.
void TestSheetExports::workbookNumbersWhateverTheCLocale()
{
    if (!kReadsBack)
        QSKIP(kNoReadBack);
    const QByteArray before = setlocale(LC_NUMERIC, nullptr);
    const auto restore = qScopeGuard([&] {
        setlocale(LC_NUMERIC, before.constData());
    });
    const QTemporaryDir locales;
    if (!frenchNumbers(locales))
        QSKIP("no French locale here, nor localedef to make one");
    QCOMPARE(localeconv()->decimal_point, ",");
    QueryFixture f(QStringLiteral("CREATE TABLE t (v REAL, prix MONEY); INSERT INTO t VALUES (70.25, 1234.5)"));
    QTemporaryDir dir;
    XlsxExport book;
    book.setDataSet(&f.query);
    QVERIFY(book.ExportToFile(dir.filePath(QStringLiteral("r.xlsx"))));
    const QJsonArray sheets = readWorkbook(dir.filePath(QStringLiteral("r.xlsx")));
    QCOMPARE(cellOf(sheets, 0, 1, 0), QStringLiteral("float|70.25|General"));
    QCOMPARE(cellOf(sheets, 0, 1, 1), QStringLiteral("float|1234.5|#,##0.00 \"€\""));
    QVERIFY(sheets[0][QStringLiteral("widths")][0].toDouble() >= 10);
}

void TestSheetExports::workbookHeaderAndColumns()
{
    if (!kReadsBack)
        QSKIP(kNoReadBack);
    QueryFixture f(kTypes);
    f.query.FieldByName(QStringLiteral("note"))->setVisible(false);
    QTemporaryDir dir;
    XlsxExport book;
    book.setDataSet(&f.query);
    QVERIFY(book.ExportToFile(dir.filePath(QStringLiteral("r.xlsx"))));
    const QJsonArray sheets = readWorkbook(dir.filePath(QStringLiteral("r.xlsx")));
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    QCOMPARE(sheet[QStringLiteral("name")].toString(), QStringLiteral("Résultat"));
    QCOMPARE(sheet[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    QCOMPARE(sheet[QStringLiteral("filter")].toString(), QStringLiteral("A1:E4"));
    QStringList captions;
    for (const QJsonValue c : sheet[QStringLiteral("rows")][0].toArray()) {
        captions << c[1].toString();
        QVERIFY(c[3].toBool()); // bold
    }
    QCOMPARE(captions, QStringList({ "id", "nom", "prix", "vu", "doc" }));
    // As the grid: ten characters at least, a text its declared size, a date its widest text.
    const QJsonArray widths = sheet[QStringLiteral("widths")].toArray();
    QCOMPARE(widths.size(), 5);
    QVERIFY2(widths[1].toDouble() >= 40 && widths[0].toDouble() >= 10 && widths[3].toDouble() >= 10,
        QJsonDocument(widths).toJson().constData());
}

void TestSheetExports::longResultGoesOnToFurtherSheets()
{
    if (!kReadsBack)
        QSKIP(kNoReadBack);
    QueryFixture f(QStringLiteral("CREATE TABLE t (n INTEGER, cache INTEGER);"
                                  "INSERT INTO t VALUES (1, 0), (5, 0), (3, 0), (4, 0), (2, 0)"));
    f.query.FieldByName(QStringLiteral("cache"))->setVisible(false);
    // In the order shown.
    QVERIFY(f.query.sortBy(0, Qt::DescendingOrder));
    QTemporaryDir dir;
    XlsxExport book;
    book.setDataSet(&f.query);
    book.setSheetRecords(2);
    QVERIFY(book.ExportToFile(dir.filePath(QStringLiteral("r.xlsx"))));
    const QJsonArray sheets = readWorkbook(dir.filePath(QStringLiteral("r.xlsx")));
    QStringList layout;
    for (const QJsonValue s : sheets) {
        QStringList values;
        for (const QJsonValue row : s[QStringLiteral("rows")].toArray())
            values << row[0][1].toString();
        layout << s[QStringLiteral("name")].toString() + u':' + values.join(u',') + u':'
                + s[QStringLiteral("filter")].toString();
    }
    QCOMPARE(layout, QStringList({ "Résultat 1:n,5,4:A1:A3", "Résultat 2:n,3,2:A1:A3", "Résultat 3:n,1:A1:A2" }));
}

void TestSheetExports::csvValuesReadBackIntact_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("amount");
    QTest::newRow("fr_FR: decimal comma, fields by ';'") << "fr_FR"
                                                         << ";"
                                                         << "1234,5";
    QTest::newRow("en_US: decimal point, fields by ','") << "en_US"
                                                         << ","
                                                         << "1234.5";
    QTest::newRow("de_DE: decimal comma, fields by ';'") << "de_DE"
                                                         << ";"
                                                         << "1234,5";
}

void TestSheetExports::csvValuesReadBackIntact()
{
    if (!kReadsBack)
        QSKIP(kNoReadBack);
    QFETCH(QString, locale);
    QFETCH(QString, delimiter);
    QFETCH(QString, amount);
    const DefaultLocale regional(locale);
    QueryFixture f(kTypes);
    QCOMPARE(CsvExport::delimiterFor(QLocale(locale)), delimiter.front().toLatin1());
    QTemporaryDir dir;
    CsvExport csv;
    csv.setDataSet(&f.query);
    QVERIFY(csv.ExportToFile(dir.filePath(QStringLiteral("r.csv"))));
    const QJsonObject file
        = readBack({ QStringLiteral("csv"), dir.filePath(QStringLiteral("r.csv")), delimiter }).object();
    QVERIFY(file[QStringLiteral("bom")].toBool());
    QStringList lines;
    for (const QJsonValue row : file[QStringLiteral("rows")].toArray())
        lines << row.toVariant().toStringList().join(u'|');
    const QString negative = QString(amount).replace(QStringLiteral("1234"), QStringLiteral("-0"));
    QCOMPARE(lines,
        QStringList(
            { "id|nom|prix|vu|note|doc", QStringLiteral("1|=1+1|%1|2024-03-07|ligne 1\r\nligne \"2\"|3").arg(amount),
                QStringLiteral("2|Łódź; €|%1|||").arg(negative), "3|virgule, point.||1850-01-01||0" }));
}

void TestSheetExports::failureLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message"); // empty: stopped by its progress
    QTest::newRow("workbook, folder that is a file") << "xlsx"
                                                     << "old.xlsx/r.xlsx"
                                                     << "Ne peut créer le fichier %1/old.xlsx/r.xlsx";
    QTest::newRow("CSV, folder that is a file") << "csv"
                                                << "old.csv/r.csv"
                                                << "Ne peut créer le fichier %1/old.csv/r.csv";
    QTest::newRow("workbook stopped") << "xlsx"
                                      << "old.xlsx"
                                      << "";
    QTest::newRow("CSV stopped") << "csv"
                                 << "old.csv"
                                 << "";
}

void TestSheetExports::failureLeavesNothingBehind()
{
    QFETCH(QString, format);
    QFETCH(QString, target);
    QFETCH(QString, message);
    QueryFixture f(kTypes);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("old.") + format), "old"));
    const auto before = folderSnapshot(dir.path());
    XlsxExport book;
    CsvExport csv;
    FileExport& exporter = format == QLatin1String("xlsx") ? static_cast<FileExport&>(book) : csv;
    exporter.setDataSet(&f.query);
    exporter.setOnProgress([](qsizetype done, qsizetype) { return done < 2; });
    bool written = true;
    const Raised failure = raised([&] { written = exporter.ExportToFile(dir.filePath(target)); });
    QCOMPARE(failure.message, message.isEmpty() ? message : QDir::toNativeSeparators(message.arg(dir.path())));
    QCOMPARE(written, !message.isEmpty());
    QCOMPARE(folderSnapshot(dir.path()), before);
}

void TestSheetExports::fullDiskKeepsOldWorkbook()
{
    QueryFixture f(QStringLiteral("CREATE TABLE t (s TEXT);"
                                  "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000)"
                                  " INSERT INTO t SELECT hex(randomblob(60)) FROM c"));
    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    QVERIFY(writeFile(disk.filePath(QStringLiteral("r.xlsx")), "old"));
    XlsxExport book;
    book.setDataSet(&f.query);
    const Raised failure = raised([&] { book.ExportToFile(disk.filePath(QStringLiteral("r.xlsx"))); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QVERIFY2(failure.message.startsWith(QStringLiteral("Ne peut écrire le classeur")), qPrintable(failure.message));
    QCOMPARE(disk.entries(), QStringList { "r.xlsx" });
    QCOMPARE(fileBytes(disk.filePath(QStringLiteral("r.xlsx"))), QByteArray("old"));
}

// A workbook is written by seeking back into it: a named pipe gets it once finished.
void TestSheetExports::pipeGetsTheWholeWorkbook()
{
    QueryFixture f(kTypes);
    QTemporaryDir dir;
    NamedPipe pipe(dir.filePath(QStringLiteral("pipe")), NamedPipe::Reader::Whole);
    if (!pipe.available())
        QSKIP("no named pipes here");
    XlsxExport book;
    book.setDataSet(&f.query);
    QVERIFY(book.ExportToFile(dir.filePath(QStringLiteral("pipe"))));
    QCOMPARE(fileKind(dir.filePath(QStringLiteral("pipe"))), QStringLiteral("pipe"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("copy.xlsx")), pipe.received()));
    const QJsonArray sheets = readWorkbook(dir.filePath(QStringLiteral("copy.xlsx")));
    QCOMPARE(cellOf(sheets, 0, 2, 1), QStringLiteral("str|Łódź; €|General"));
}

void TestSheetExports::commandsAskThenWrite_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("target"); // in a folder that holds the file "f"
    QTest::addColumn<QByteArray>("start"); // of the file written; empty: nothing written
    QTest::addColumn<QString>("message");
    QTest::newRow("workbook, Ctrl+Shift+X") << int(Qt::Key_X) << "PopupExporterClasseur"
                                            << "Exporter vers un classeur"
                                            << "Classeurs Excel (*.xlsx)"
                                            << "r.xlsx" << QByteArray("PK") << "";
    QTest::newRow("CSV, Ctrl+Shift+S") << int(Qt::Key_S) << "PopupExporterCSV"
                                       << "Exporter en CSV"
                                       << "Fichiers CSV (*.csv)"
                                       << "r.csv" << QByteArray("\xEF\xBB\xBFNOM;SOLDE\r\nDurand;10,5\r\n") << "";
    QTest::newRow("CSV, columns in the order the grid shows them")
        << int(Qt::Key_S) << "PopupExporterCSV"
        << "Exporter en CSV"
        << "Fichiers CSV (*.csv)"
        << "moved.csv" << QByteArray("\xEF\xBB\xBFSOLDE;NOM\r\n10,5;Durand\r\n") << "";
    // The library opens files by narrow names: on Windows, the ANSI code page's.
    QTest::newRow("workbook, a name outside the ANSI code page")
        << int(Qt::Key_X) << "PopupExporterClasseur"
        << "Exporter vers un classeur"
        << "Classeurs Excel (*.xlsx)"
        << "Łódź €.xlsx" << QByteArray("PK") << "";
    QTest::newRow("workbook into a file taken for a folder")
        << int(Qt::Key_X) << "PopupExporterClasseur"
        << "Exporter vers un classeur"
        << "Classeurs Excel (*.xlsx)"
        << "f/r.xlsx" << QByteArray() << "Ne peut créer le fichier %1/f/r.xlsx.";
    QTest::newRow("CSV into a file taken for a folder")
        << int(Qt::Key_S) << "PopupExporterCSV"
        << "Exporter en CSV"
        << "Fichiers CSV (*.csv)"
        << "f/r.csv" << QByteArray() << "Ne peut créer le fichier %1/f/r.csv.";
}

void TestSheetExports::commandsAskThenWrite()
{
    QFETCH(int, key);
    QFETCH(QString, action);
    QFETCH(QString, title);
    QFETCH(QString, filter);
    QFETCH(QString, target);
    QFETCH(QByteArray, start);
    QFETCH(QString, message);
    QueryWindow q;
    q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20), SOLDE MONEY);"
                                    "INSERT INTO PaBase VALUES ('Durand', 10.5), ('Martin', NULL)"));
    q.createWindow();
    QVERIFY(q.showActive());
    q.run(QStringLiteral("SELECT * FROM PaBase"));
    if (target.startsWith(QLatin1String("moved")))
        q.window->DBGridSQL->horizontalHeader()->moveSection(1, 0);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("f")), "f"));
    const auto before = folderSnapshot(dir.path());
    q.dialogs->saveAnswers << Dialogs::SaveFileResult { dir.filePath(target), 1 };
    QTest::keyClick(q.window->ComboBoxSQL, Qt::Key(key), Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(q.dialogs->messageTexts(),
        message.isEmpty() ? QStringList() : QStringList { QDir::toNativeSeparators(message.arg(dir.path())) });
    const QList<ScriptedDialogs::Call> saves = q.dialogs->callsOf(QStringLiteral("save"));
    QCOMPARE(saves.size(), 1);
    QCOMPARE(saves[0].save.title, title);
    QCOMPARE(saves[0].save.filters, QStringList { filter });
    if (start.isEmpty())
        QCOMPARE(folderSnapshot(dir.path()), before);
    else
        QVERIFY(fileBytes(dir.filePath(target)).startsWith(start));
    // The header menu has the same command.
    QVERIFY(q.window->CopieResultat->PopupEnTetes->findChild<QAction*>(action));
}

QTEST_MAIN(TestSheetExports)
#include "tst_sheetexports.moc"
