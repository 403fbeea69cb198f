#include "FileFailures.h"
#include "QueryFixture.h"
#include "export/kds2prn.h"
#include "output/printing/QtPrinter.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <optional>

namespace
{

struct Word {
    QString text;
    double left, top, right, bottom; // points, from the page's top-left corner
};
using Page = QList<Word>;

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of a PDF file with their boxes, page by page (pdftotext -bbox).
QList<Page> pdfWords(const QString& file)
{
    const QString html = run(QStringLiteral("pdftotext"), { QStringLiteral("-bbox"), file, QStringLiteral("-") });
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<Page> pages;
    for (const auto& m : tag.globalMatch(html)) {
        if (m.captured(5).isEmpty() && m.captured(0).startsWith(u"<page"))
            pages.append(Page());
        else if (!pages.isEmpty())
            pages.last().append({ m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                m.captured(3).toDouble(), m.captured(4).toDouble() });
    }
    return pages;
}

const Word* find(const Page& page, const QString& text)
{
    for (const Word& w : page)
        if (w.text == text)
            return &w;
    return nullptr;
}

// Rows 1 to 60; the first one's name, 16 letters in a 4-letter column, runs over the
// empty column after it.
const QString rows = QStringLiteral("CREATE TABLE t (id INTEGER, nom VARCHAR(3), ville VARCHAR(10));"
                                    "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 60)"
                                    " INSERT INTO t SELECT n, CASE n WHEN 1 THEN 'abcdefghijklmnop' ELSE 'x' END,"
                                    " CASE n WHEN 1 THEN NULL ELSE 'Lyon' END FROM c");

// Some 60 pages of distinct numbers: a PDF far larger than the small disk, in any face.
const QString manyRows = QStringLiteral("CREATE TABLE t (id INTEGER, code TEXT);"
                                        "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 4000)"
                                        " INSERT INTO t SELECT n, hex(randomblob(12)) FROM c");

} // namespace

// The real printer: a job printed to a PDF file through QPrinter, read back with pdftotext.
class TestQtPrinter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void listingLandsWhereItWasLaidOut();
    void textStartingInTheMarginShows();
    void unfinishedJobLeavesTheFileThatWasThere_data();
    void unfinishedJobLeavesTheFileThatWasThere();

private:
    QTemporaryDir m_dir;
};

void TestQtPrinter::initTestCase()
{
    initTestEnvironment();
#ifdef Q_OS_WIN
    QSKIP("pdftotext (poppler-utils), which reads the printed PDF back, has no Windows build here");
#endif
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QFAIL("pdftotext (poppler-utils) is needed to read the printed PDF back");
}

void TestQtPrinter::listingLandsWhereItWasLaidOut()
{
    QueryFixture f(rows);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("liste.pdf")));
    QtPrinter device(printer);
    TKDatasetToPrinter listing;
    listing.setDataSet(&f.query);
    listing.setPrinter(&device);
    listing.setHeader({ QStringLiteral("Cabinet du Parc") });
    listing.setTitle(QStringLiteral("Patients"));
    listing.setFooter({ QStringLiteral("Fin de page") });
    listing.Print();
    QVERIFY(!device.printing());

    const QList<Page> pages = pdfWords(printer.outputFileName());
    QCOMPARE(pages.size(), 2);
    // Device pixels at 1200 dpi are 0.06 point; the printable area starts at the
    // page's margins.
    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
    const double px = 72.0 / printer.resolution();
    const double columnLeft = area.left() + 10 * (printer.resolution() * 10 / 254) * px;
    const double headTop = area.top() + 5 * (printer.resolution() * 10 / 254) * px;

    int next = 1;
    for (const Page& page : pages) {
        const Word* cabinet = find(page, QStringLiteral("Cabinet"));
        const Word* parc = find(page, QStringLiteral("Parc"));
        const Word* caption = find(page, QStringLiteral("Patients"));
        const Word* label = find(page, QStringLiteral("id"));
        const Word* fin = find(page, QStringLiteral("Fin"));
        QVERIFY(cabinet && parc && caption && label && fin);
        QVERIFY(qAbs(cabinet->top - headTop) < 1.5);
        QVERIFY(qAbs((cabinet->left + parc->right) / 2 - area.center().x()) < 1);
        QVERIFY(qAbs((caption->left + caption->right) / 2 - area.center().x()) < 1);
        QVERIFY(caption->bottom - caption->top > 1.4 * (cabinet->bottom - cabinet->top));
        QVERIFY(qAbs(label->left - columnLeft) < 0.5);

        // The rows, in order, at the left margin and one line height apart.
        QList<const Word*> rowWords;
        for (const Word& w : page)
            if (w.text == QString::number(next) && qAbs(w.left - columnLeft) < 0.5)
                rowWords << &w, ++next;
        QVERIFY(rowWords.size() > 1);
        const double line = rowWords[1]->top - rowWords[0]->top;
        for (qsizetype i = 1; i < rowWords.size(); ++i)
            QVERIFY(qAbs(rowWords[i]->top - rowWords[i - 1]->top - line) < 0.05);

        // The footer stands one line height plus 10 pixels above the area's bottom,
        // and the page broke when one more row would have entered its zone.
        const double footerZone = area.bottom() - line;
        QVERIFY(qAbs(fin->top - (footerZone - 10 * px)) < 1.5);
        if (next <= 60) {
            QVERIFY(rowWords.last()->top + line <= footerZone + 0.05);
            QVERIFY(rowWords.last()->top + 2 * line > footerZone);
        }
    }
    QCOMPARE(next, 61);
    const Word* overrun = find(pages[0], QStringLiteral("abcdefghijklmnop"));
    QVERIFY(overrun);
    QVERIFY(overrun->right > find(pages[0], QStringLiteral("Lyon"))->left);

    const QString fonts = run(QStringLiteral("pdffonts"), { printer.outputFileName() });
    QVERIFY2(fonts.contains(QStringLiteral("Bold")), qPrintable(fonts));
}

void TestQtPrinter::textStartingInTheMarginShows()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("marges.pdf")));
    QtPrinter device(printer);
    // Past the printable area but on the paper: drawn, though the printer leaves out
    // what starts beyond the paper.
    device.beginDoc();
    device.canvas().textOut(device.pageWidth() + 10, 100, QStringLiteral("x"));
    device.canvas().textOut(0, device.pageHeight() + 10, QStringLiteral("bas"));
    device.endDoc();
    QStringList words;
    for (const Word& w : pdfWords(printer.outputFileName()).value(0))
        words << w.text;
    QCOMPARE(words, (QStringList { "x", "bas" }));
}

void TestQtPrinter::unfinishedJobLeavesTheFileThatWasThere_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("code"); // of the EInOutError; 0 for none
    QTest::newRow("cancelled") << "cancel" << 0;
    QTest::newRow("missing folder") << "folder" << 3;
    QTest::newRow("full disk at the file") << "target" << ENOSPC;
    QTest::newRow("full disk while spooling") << "spool" << ENOSPC;
}

void TestQtPrinter::unfinishedJobLeavesTheFileThatWasThere()
{
    QFETCH(QString, failure);
    QFETCH(int, code);
    std::optional<SmallDisk> disk;
    if (failure == u"target" || failure == u"spool") {
        disk.emplace(16 * 1024);
        if (!disk->available())
            QSKIP(qPrintable(disk->error()));
    }
    QTemporaryDir folder;
    const QString dir = failure == u"target" ? disk->filePath({}) : folder.path();
    const QString target = QDir(dir).filePath(failure == u"folder" ? "absent/liste.pdf" : "liste.pdf");
    if (failure != u"folder") {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("ancien");
    }
    QueryFixture f(disk ? manyRows : rows);
    const QByteArray tmp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] { qputenv("TMPDIR", tmp); });
    if (failure == u"spool")
        qputenv("TMPDIR", QFile::encodeName(disk->filePath({})));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(target);
    QtPrinter device(printer);
    TKDatasetToPrinter listing;
    listing.setDataSet(&f.query);
    listing.setPrinter(&device);
    if (failure == u"cancel")
        listing.setOnProgress([](qsizetype done, qsizetype) { return done == 0; });
    int raised = 0;
    try {
        listing.Print();
    } catch (const EInOutError& e) {
        raised = e.code();
    }
    QCOMPARE(raised, code);
    QCOMPARE(device.aborted(), failure == u"cancel");
    QVERIFY(!device.printing());
    QCOMPARE(printer.outputFileName(), target);
    QFile old(target);
    if (failure != u"folder") {
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("ancien"));
    }
    QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden),
        failure == u"folder" ? QStringList() : QStringList { "liste.pdf" });
    if (disk)
        QCOMPARE(disk->entries().size(), failure == u"target" ? 1 : 0);
}

QTEST_MAIN(TestQtPrinter)
#include "tst_qtprinter.moc"
