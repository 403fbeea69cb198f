#include "FileFailures.h"
#include "FileState.h"
#include "Golden.h"
#include "QueryFixture.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "export/CurrencyText.h"
#include "export/kds2html.h"
#include "platform/Exceptions.h"
#include "platform/Windows1252.h"

#include <QBuffer>
#include <QDir>
#include <QTest>
#include <limits>

namespace
{

struct Export : QueryFixture {
    TKDataSetToHTML component;
    explicit Export(const QString& setup)
        : QueryFixture(setup)
    {
        component.setDataSet(&query);
    }
};

const QString kValues = QStringLiteral(
    "CREATE TABLE t (id INTEGER, nom VARCHAR(30), note TEXT, prix MONEY, \"poids<kg>\" REAL, vu DATE, doc BLOB);"
    "INSERT INTO t VALUES (1, 'TA < 12 & stable', '<script>alert(\"x\")</script>', 1234.5, 70.25, '2024-03-07',"
    " x'3C6926E93E'),"
    " (2, 'Łódź € &#8364;', '', -12.5, NULL, NULL, x''),"
    " (3, NULL, 'ligne 1' || char(13, 10) || 'ligne 2', NULL, 0.5, '2024-12-31', NULL)");

const QString kManyRows
    = QStringLiteral("CREATE TABLE t (s VARCHAR(200));"
                     "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000)"
                     " INSERT INTO t SELECT printf('%0100d', n) FROM c");

// Marks header cells, right-aligns and bolds the second column, and empties the notes.
void formatCells(QObject*, int row, int column, const QString& fieldName, QString& attrs, QString& data)
{
    if (row == 1)
        attrs = QStringLiteral("bgcolor=\"#C0C0C0\"");
    else if (column == 2)
        attrs = QStringLiteral("align=\"right\""), data = QStringLiteral("<b>%1</b>").arg(data);
    else if (fieldName == QLatin1String("note"))
        data.clear();
}

enum Callback { NoCallback, Formatting };

} // namespace

Q_DECLARE_METATYPE(Callback)

// The HTML table export: exact documents, the cell callback, and failures that leave
// an existing file as it was.
class TestKds2Html : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void piecesKeepOrderAndStopOnFailure_data();
    void piecesKeepOrderAndStopOnFailure();
    void writesGoldenDocuments_data();
    void writesGoldenDocuments();
    void callbackSeesEscapedCells();
    void currencyTextFollowsLocale_data();
    void currencyTextFollowsLocale();
    void currencyTextIsExact_data();
    void currencyTextIsExact();
    void failureKeepsOldFile_data();
    void failureKeepsOldFile();
    void failedWritesKeepOldFile();
    void refusesDatabaseFiles_data();
    void refusesDatabaseFiles();
    void replacedFileKeepsOwnerAndMode();
    void callbackMovingCursorWritesEveryRowOnce_data();
    void callbackMovingCursorWritesEveryRowOnce();
    void callbackReopeningDataSetStopsExport();
    void stoppedExportLeavesFile_data();
    void stoppedExportLeavesFile();
    void progressMovingCursorWritesEveryRowOnce();
};

void TestKds2Html::writesGoldenDocuments_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("footer");
    QTest::addColumn<Callback>("callback");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<QString>("golden");
    const QStringList none;
    QTest::newRow("escaped values, currency, empty cells")
        << kValues << none << none << none << NoCallback << 0 << "values";
    QTest::newRow("amounts rounded half away from zero")
        << "CREATE TABLE t (m MONEY); INSERT INTO t VALUES (1.005), (2.675), (-8.345), ('1,125'), (-0.00004),"
           " ('922337203685477,5807')"
        << none << none << none << NoCallback << 0 << "amounts";
    QTest::newRow("hidden fields skipped")
        << kValues << QStringList { "nom", "vu", "doc" } << none << none << NoCallback << 0 << "hidden";
    QTest::newRow("no visible field") << "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1), (2)"
                                      << QStringList { "a" } << none << none << NoCallback << 0 << "novisible";
    QTest::newRow("empty result") << "CREATE TABLE t (a INTEGER, b VARCHAR(5))" << none << none << none << NoCallback
                                  << 0 << "empty";
    QTest::newRow("header set, footer empty")
        << "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1)" << none
        << QStringList { "<html><head><title>Œuvres ✓</title></head>", "<body bgcolor=\"white\">" } << none
        << NoCallback << 0 << "header";
    QTest::newRow("footer set, header empty")
        << "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1)" << none << none
        << QStringList { "<p>Fin</p>", "</body></html>" } << NoCallback << 0 << "footer";
    QTest::newRow("positioned in the middle") << "CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (1), (2), (3)"
                                              << none << none << none << NoCallback << 2 << "middle";
    QTest::newRow("callback sets attributes and content")
        << kValues << none << none << none << Formatting << 0 << "callback";
}

void TestKds2Html::writesGoldenDocuments()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, header);
    QFETCH(QStringList, footer);
    QFETCH(Callback, callback);
    QFETCH(int, startRow);
    QFETCH(QString, golden);
    Export e(setup);
    for (const QString& name : hidden)
        e.query.FieldByName(name)->setVisible(false);
    e.component.setHeader(header);
    e.component.setFooter(footer);
    if (callback == Formatting)
        e.component.setOnFormatCell(formatCells);
    e.query.moveTo(startRow);

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("page"));
    e.component.ExportToFile(target);
    QVERIFY(e.query.eof());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { "page" });
    const QByteArray document = fileBytes(target);
    const QString diff = goldenDifference(document, QStringLiteral("kds2html/%1.htm").arg(golden));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    QBuffer device;
    device.open(QIODevice::WriteOnly);
    e.component.exportTo(device);
    QCOMPARE(device.data(), document);
}

void TestKds2Html::callbackSeesEscapedCells()
{
    Export e(kValues);
    e.query.FieldByName(QStringLiteral("nom"))->setVisible(false);
    QStringList seen;
    e.component.setOnFormatCell(
        [&](QObject* sender, int row, int column, const QString& fieldName, QString& attrs, QString& data) {
            QCOMPARE(sender, &e.component);
            QVERIFY(attrs.isEmpty());
            if (row <= 2)
                seen << QStringLiteral("%1 %2 %3 %4").arg(row).arg(column).arg(fieldName, data);
        });
    QBuffer device;
    device.open(QIODevice::WriteOnly);
    e.component.exportTo(device);
    QCOMPARE(seen,
        QStringList({
            "1 1 id id",
            "1 2 note note",
            "1 3 prix prix",
            "1 4 poids<kg> poids&lt;kg&gt;",
            "1 5 vu vu",
            "1 6 doc doc",
            "2 1 id 1",
            "2 2 note &lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;",
            QStringLiteral("2 3 prix 1\u202F234,50\u00A0€"),
            "2 4 poids<kg> 70,25",
            "2 5 vu 07/03/2024",
            "2 6 doc &lt;i&amp;é&gt;",
        }));
}

void TestKds2Html::currencyTextFollowsLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France);
    QTest::newRow("English, United States") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("German, Switzerland") << QLocale(QLocale::German, QLocale::Switzerland);
    QTest::newRow("Spanish, no grouping of four digits") << QLocale(QLocale::Spanish, QLocale::Spain);
    QTest::newRow("Hindi, grouping by two") << QLocale(QLocale::Hindi, QLocale::India);
    QTest::newRow("Japanese") << QLocale(QLocale::Japanese, QLocale::Japan);
    QTest::newRow("Arabic digits") << QLocale(QLocale::Arabic, QLocale::Egypt);
}

// Amounts read as QLocale writes them once rounded to the cent, half away from zero,
// both as bytes and as text. Below 10^13, a double holds the cent that QLocale rounds to.
void TestKds2Html::currencyTextFollowsLocale()
{
    QFETCH(QLocale, locale);
    const CurrencyText currency(locale);
    for (const qint64 amount : { 0LL, 1LL, 50LL, 100LL, 10000LL, 12345LL, 10050LL, -26750LL, 99990000LL, 12345678900LL,
             -100LL, -10000LL, -12345678900LL, 1000000000000000LL, -9223372036854775807LL }) {
        // Far from the edge of the range only: the reference would overflow there.
        if (qAbs(amount) >= 100000000000000000LL)
            continue;
        const qint64 cents = (amount < 0 ? amount - 50 : amount + 50) / 100;
        const QString expected = locale.toCurrencyString(double(cents) / 100.0, QString(), 2);
        QByteArray direct;
        currency.append(direct, amount);
        QCOMPARE(direct, Windows1252::encode(expected, Windows1252::Unmappable::CharacterReference));
        QCOMPARE(currency.text(amount), expected);
    }
}

void TestKds2Html::currencyTextIsExact_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<QString>("text");
    const QLocale french(QLocale::French, QLocale::France);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const QLocale indian(QLocale::Hindi, QLocale::India);
    const qint64 largest = std::numeric_limits<qint64>::max();
    const qint64 smallest = std::numeric_limits<qint64>::min();
    QTest::newRow("half cent of 1,005 rounds up") << french << qint64(10050) << "1,01\u00A0€";
    QTest::newRow("half cent of 2,675 rounds up") << french << qint64(26750) << "2,68\u00A0€";
    QTest::newRow("half cent of 8,345 rounds up") << french << qint64(83450) << "8,35\u00A0€";
    QTest::newRow("half cent of 1,125 rounds up") << french << qint64(11250) << "1,13\u00A0€";
    QTest::newRow("just under half a cent rounds down") << french << qint64(10049) << "1,00\u00A0€";
    QTest::newRow("negative half cent rounds away from zero") << french << qint64(-10050) << "(1,01\u00A0€)";
    QTest::newRow("negative amount rounding to nothing has no sign") << french << qint64(-49) << "0,00\u00A0€";
    QTest::newRow("fifteen whole digits keep their cents")
        << french << qint64(1234567890123456789) << "123\u202F456\u202F789\u202F012\u202F345,68\u00A0€";
    QTest::newRow("largest amount") << french << largest << "922\u202F337\u202F203\u202F685\u202F477,58\u00A0€";
    QTest::newRow("smallest amount") << french << smallest << "(922\u202F337\u202F203\u202F685\u202F477,58\u00A0€)";
    QTest::newRow("largest amount in dollars") << american << largest << "$922,337,203,685,477.58";
    QTest::newRow("smallest amount in dollars") << american << smallest << "($922,337,203,685,477.58)";
    QTest::newRow("largest amount grouped by two") << indian << largest << "₹92,23,37,20,36,85,477.58";
    QTest::newRow("smallest amount grouped by two") << indian << smallest << "₹-92,23,37,20,36,85,477.58";
}

// No amount loses a digit on its way to the page, whatever its size.
void TestKds2Html::currencyTextIsExact()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, amount);
    QFETCH(QString, text);
    const CurrencyText currency(locale);
    QCOMPARE(currency.text(amount), text);
    QByteArray bytes;
    currency.append(bytes, amount);
    QCOMPARE(bytes, Windows1252::encode(text, Windows1252::Unmappable::CharacterReference));
}

void TestKds2Html::failureKeepsOldFile_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("closed data set") << true << "page.htm"
                                     << "Ne peut effectuer cette opération sur un ensemble de données fermé";
    QTest::newRow("callback error") << false << "page.htm"
                                    << "arrêt au troisième enregistrement";
    QTest::newRow("missing folder") << false << "missing/page.htm"
                                    << "Ne peut créer le fichier %1/missing/page.htm";
    QTest::newRow("path through a regular file") << false << "page.htm/x.htm"
                                                 << "Ne peut créer le fichier %1/page.htm/x.htm";
}

void TestKds2Html::failureKeepsOldFile()
{
    QFETCH(bool, closed);
    QFETCH(QString, target);
    QFETCH(QString, message);
    Export e(kValues);
    if (closed)
        e.query.close();
    e.component.setOnFormatCell([](QObject*, int row, int, const QString&, QString&, QString&) {
        if (row == 4)
            throw Exception(QStringLiteral("arrêt au troisième enregistrement"));
    });
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("page.htm")), "old"));
    const Raised failure = raised([&] { e.component.ExportToFile(dir.filePath(target)); });
    QCOMPARE(failure.message, QDir::toNativeSeparators(message.replace(QStringLiteral("%1"), dir.path())));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "page.htm" });
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("page.htm"))), QByteArray("old"));
}

void TestKds2Html::failedWritesKeepOldFile()
{
    Export e(kManyRows);
    FailingDevice device(1000);
    QVERIFY_THROWS_EXCEPTION(EInOutError, e.component.exportTo(device));
    QCOMPARE(device.written().size(), 1000);

    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    QVERIFY(writeFile(disk.filePath(QStringLiteral("page.htm")), "old"));
    const Raised failure = raised([&] { e.component.ExportToFile(disk.filePath(QStringLiteral("page.htm"))); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message, QStringLiteral("Erreur E/S 28"));
    QCOMPARE(disk.entries(), QStringList { "page.htm" });
    QCOMPARE(fileBytes(disk.filePath(QStringLiteral("page.htm"))), QByteArray("old"));
}

// The document may not replace a file of the open database, under any name.
void TestKds2Html::refusesDatabaseFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("link"); // the target is made a symbolic link to it, when set
    QTest::newRow("the database") << "test.sqlite"
                                  << "";
    QTest::newRow("a symbolic link to the database") << "page.htm"
                                                     << "test.sqlite";
    QTest::newRow("its write-ahead log, not created yet") << "test.sqlite-wal"
                                                          << "";
}

void TestKds2Html::refusesDatabaseFiles()
{
    QFETCH(QString, target);
    QFETCH(QString, link);
    Export e(kValues);
    const QDir folder(e.db.folder());
    const QString path = folder.filePath(target);
#ifdef Q_OS_WIN
    if (!link.isEmpty())
        QSKIP("QFile::link makes a shortcut on Windows, not a symbolic link");
#endif
    if (!link.isEmpty())
        QVERIFY(QFile::link(folder.filePath(link), path));
    const auto before = folderSnapshot(folder.path());
    const Raised failure = raised([&] { e.component.ExportToFile(path); });
    QCOMPARE(failure.kind, QStringLiteral("EInOutError"));
    QCOMPARE(failure.message,
        QStringLiteral("Ne peut écrire dans %1 : c'est un fichier de la base de données ouverte")
            .arg(QDir::toNativeSeparators(path)));
    QCOMPARE(folderSnapshot(folder.path()), before);
}

void TestKds2Html::replacedFileKeepsOwnerAndMode()
{
#ifdef Q_OS_WIN
    QSKIP("owners and permission bits are a Unix matter");
#endif
    if (!mayGiveFilesAway())
        QSKIP("giving files to another user needs root");
    Export e(kValues);
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.htm"));
    const FileOwner owner { 1234, 1235, 0640 };
    QVERIFY(writeFile(page, "old") && setOwner(page, owner));
    e.component.ExportToFile(page);
    QVERIFY(fileBytes(page).startsWith("<html>"));
    QCOMPARE(ownerOf(page), owner);
}

void TestKds2Html::callbackMovingCursorWritesEveryRowOnce_data()
{
    QTest::addColumn<int>("movedTo");
    QTest::newRow("first row") << 0;
    QTest::newRow("last row") << 2;
}

void TestKds2Html::callbackMovingCursorWritesEveryRowOnce()
{
    // A callback that moves the shared cursor (as a click on the grid would) changes
    // neither which row a cell is read from nor how many rows are written.
    QFETCH(int, movedTo);
    Export e(QStringLiteral("CREATE TABLE t (a INTEGER, b INTEGER); INSERT INTO t VALUES (1, 10), (2, 20), (3, 30)"));
    e.component.setOnFormatCell([&](QObject*, int row, int, const QString&, QString&, QString&) {
        if (row > 1)
            e.query.moveTo(movedTo);
    });
    QBuffer device;
    device.open(QIODevice::WriteOnly);
    e.component.exportTo(device);
    QStringList cells;
    for (const QByteArray& line : device.data().split('\n'))
        if (line.startsWith("<td"))
            cells << QString::fromLatin1(line.trimmed());
    QCOMPARE(cells,
        QStringList({ "<td nowrap  >1 </td>", "<td nowrap  >10 </td>", "<td nowrap  >2 </td>", "<td nowrap  >20 </td>",
            "<td nowrap  >3 </td>", "<td nowrap  >30 </td>" }));
    QVERIFY(e.query.eof());
    QCOMPARE(e.query.recNo(), 2);
}

void TestKds2Html::callbackReopeningDataSetStopsExport()
{
    // The fields written belong to the result that was open when the export began.
    Export e(kValues);
    e.component.setOnFormatCell([&](QObject*, int row, int, const QString&, QString&, QString&) {
        if (row == 3) {
            e.query.close();
            e.query.open();
        }
    });
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("page.htm"));
    QVERIFY(writeFile(target, "old"));
    const Raised failure = raised([&] { e.component.ExportToFile(target); });
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(fileBytes(target), QByteArray("old"));
}

void TestKds2Html::stoppedExportLeavesFile_data()
{
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("before the first record, new file") << 0 << false;
    QTest::newRow("half-way, new file") << 1500 << false;
    QTest::newRow("half-way, existing file") << 1500 << true;
    QTest::newRow("at the last record, existing file") << 2999 << true;
}

void TestKds2Html::stoppedExportLeavesFile()
{
    QFETCH(int, stopAt);
    QFETCH(bool, targetExists);
    Export e(kManyRows);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("page.htm"));
    if (targetExists)
        QVERIFY(writeFile(target, "old"));
    const auto before = folderSnapshot(dir.path());
    QList<qsizetype> seen;
    e.component.setOnProgress([&](qsizetype done, qsizetype total) {
        if (total != 3000)
            return false;
        seen << done;
        return done < stopAt;
    });
    bool written = true;
    QCOMPARE(raised([&] { written = e.component.ExportToFile(target); }).message, QString());
    QVERIFY(!written);
    QCOMPARE(seen.size(), stopAt + 1);
    QCOMPARE(seen.last(), qsizetype(stopAt));
    QCOMPARE(folderSnapshot(dir.path()), before);
}

void TestKds2Html::progressMovingCursorWritesEveryRowOnce()
{
    // Without a cell callback, the cells are read straight from the record: a progress
    // callback that moves the cursor must not change which record that is.
    Export e(kManyRows);
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    e.component.exportTo(plain);
    e.component.setOnProgress([&](qsizetype done, qsizetype) {
        e.query.moveTo(done % 2 ? 0 : 2999);
        return true;
    });
    QBuffer watched;
    watched.open(QIODevice::WriteOnly);
    QVERIFY(e.component.exportTo(watched));
    QCOMPARE(watched.data(), plain.data());
}

void TestKds2Html::piecesKeepOrderAndStopOnFailure_data()
{
    QTest::addColumn<int>("badRow"); // 0: none
    QTest::newRow("every row in order") << 0;
    QTest::newRow("a bad amount in the first piece") << 7;
    QTest::newRow("a bad amount in a later piece") << 9000;
}

// The rows are formatted in pieces on several threads: they are written in their
// order, and a failure in any piece leaves the target as it was.
void TestKds2Html::piecesKeepOrderAndStopOnFailure()
{
    QFETCH(int, badRow);
    Export e(QStringLiteral("CREATE TABLE t (n INTEGER, m MONEY);"
                            "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 10000)"
                            " INSERT INTO t SELECT n, CASE n WHEN %1 THEN 'abc' ELSE n END FROM c")
                 .arg(badRow));
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.htm"));
    QVERIFY(writeFile(page, "old"));
    const Raised r = raised([&] { e.component.ExportToFile(page); });
    if (badRow) {
        QCOMPARE(r.message, QStringLiteral("'abc' n'est pas une valeur monétaire valide"));
        QCOMPARE(fileBytes(page), QByteArray("old"));
        return;
    }
    QCOMPARE(r.message, QString());
    const QList<QByteArray> lines = fileBytes(page).split('\n');
    qsizetype n = 0;
    for (const QByteArray& line : lines)
        if (line.startsWith("<td nowrap  >") && !line.contains(','))
            QCOMPARE(line.trimmed(), "<td nowrap  >" + QByteArray::number(++n) + " </td>");
    QCOMPARE(n, qsizetype(10000));
}

QTEST_MAIN(TestKds2Html)
#include "tst_kds2html.moc"
