#include "Golden.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "app/SQL.h"
#include "data/Query.h"
#include "platform/Windows1252.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <optional>
#include <sqlite3.h>

// Results far from the ordinary - a cell of 50 MB, a statement of 1 MB, a thousand
// columns, zero bytes and ill-formed UTF-8 in values and in column names, a separator
// of 10,000 characters - through every way out of the query window: the grid, the
// capture, the text and HTML exports and the printed listing. Nothing fails that
// should not, nothing hangs, and what is written is well formed.
class TestExtremeData : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void resultGoesThroughEveryOutput_data();
    void resultGoesThroughEveryOutput();
    void longSeparatorJoinsEveryPiece();
    void longRememberedStatementRunsWhole();
    void captureEditorTakesWhatItCanLayOut_data();
    void captureEditorTakesWhatItCanLayOut();

private:
    void open(const QByteArray& setup);
    void run(const QString& statement);
    void clickCell(int row, int column);
    void checkTextExport(const QString& file, char delimiter);
    void checkHtmlExport(const QString& file);
    // The memo's text as a row capture of the first row gives it.
    QString firstRowCapture(const QString& separator) const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TFicheClip> m_clip;
    std::unique_ptr<TFicheSQL> m_window;
};

namespace
{

// Runs statements given as raw bytes, so that they may hold ill-formed UTF-8.
void execBytes(const QString& path, const QByteArray& sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    const QByteArray message = error ? QByteArray(error) : QByteArray();
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, message.constData());
}

// Reads the text export's format back: lines of values in double quotes, a quote
// inside doubled, separated by the delimiter and ended by CR LF. Nothing when the
// bytes are not in that format.
std::optional<QList<QByteArrayList>> readQuotedLines(const QByteArray& bytes, char delimiter)
{
    QList<QByteArrayList> lines;
    QByteArrayList values;
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (bytes[i] != '"')
            return std::nullopt;
        QByteArray value;
        for (++i;; ++i) {
            const qsizetype quote = bytes.indexOf('"', i);
            if (quote < 0)
                return std::nullopt;
            value += bytes.mid(i, quote - i);
            i = quote + 1;
            if (i >= bytes.size() || bytes[i] != '"')
                break;
            value += '"';
        }
        values << value;
        if (bytes.mid(i, 2) == "\r\n") {
            lines << values;
            values.clear();
            i += 2;
        } else if (i < bytes.size() && bytes[i] == delimiter) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (!values.isEmpty())
        return std::nullopt;
    return lines;
}

// What is wrong with an HTML table document; empty when it is well formed: every
// "<" opens one of the writer's own tags and every "&" an entity, no ">" stands
// alone, and the table has the rows and cells asked.
QString htmlFault(const QByteArray& html, int rows, int columns)
{
    static const QRegularExpression tag(QStringLiteral("^/?(html|head|title|body|table|tr|th|td)( [^<>]*)?$"));
    static const QRegularExpression entity(QStringLiteral("^&(#[0-9]+;|lt;|gt;|amp;|quot;|nbsp)"));
    int rowsSeen = 0;
    int cellsSeen = 0;
    for (qsizetype i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '>')
            return QStringLiteral("a lone \">\" at %1").arg(i);
        if (c == '&' && !entity.match(QString::fromLatin1(html.mid(i, 12))).hasMatch())
            return QStringLiteral("a lone \"&\" at %1").arg(i);
        if (c != '<')
            continue;
        const qsizetype end = html.indexOf('>', i);
        const QString name = QString::fromLatin1(html.mid(i + 1, end - i - 1));
        if (end < 0 || !tag.match(name).hasMatch())
            return QStringLiteral("an unknown tag at %1: %2").arg(i).arg(name.left(40));
        rowsSeen += name == u"tr";
        cellsSeen += name.startsWith(u"td ") || name.startsWith(u"th ");
        i = end;
    }
    if (rowsSeen != rows + 1 || cellsSeen != (rows + 1) * columns)
        return QStringLiteral("%1 rows of %2 cells in all").arg(rowsSeen).arg(cellsSeen);
    return {};
}

} // namespace

void TestExtremeData::open(const QByteArray& setup)
{
    m_db = std::make_unique<TestDatabase>();
    execBytes(m_db->path(), setup);
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_clip = std::make_unique<TFicheClip>();
    FicheClip = m_clip.get();
    m_window = std::make_unique<TFicheSQL>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestExtremeData::cleanup()
{
    m_window.reset();
    FicheClip = nullptr;
    m_clip.reset();
    m_dialogs.reset();
    m_db.reset();
}

void TestExtremeData::run(const QString& statement)
{
    m_window->ComboBoxSQL->setEditText(statement);
    QTest::mouseClick(m_window->ToolButtonResult, Qt::LeftButton);
}

void TestExtremeData::clickCell(int row, int column)
{
    TDBGrid* grid = m_window->DBGridSQL;
    const QModelIndex index = grid->model()->index(row, column);
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

QString TestExtremeData::firstRowCapture(const QString& separator) const
{
    TQuery* query = m_window->QuerySQL;
    const qsizetype row = query->recNo();
    query->first();
    QStringList cells;
    for (int i = 0; i < query->fieldCount(); ++i)
        cells << query->field(i)->asString();
    query->moveTo(row);
    return cells.join(separator);
}

// Each line holds every field, a text field's value being its text in Windows-1252.
// How an ill-formed UTF-8 sequence reads is the decoder's own business: here it is
// enough that such a value keeps its place in the line.
void TestExtremeData::checkTextExport(const QString& file, char delimiter)
{
    const auto wellFormed = [](const TField* field) {
        const CellRef cell = field->cell();
        const QByteArrayView stored(cell.data, cell.size);
        return cell.cls != CellClass::Text || QString::fromUtf8(stored).toUtf8() == stored;
    };
    const auto lines = readQuotedLines(fileBytes(file), delimiter);
    QVERIFY(lines);
    TQuery* query = m_window->QuerySQL;
    QCOMPARE(lines->size(), query->recordCount());
    query->first();
    for (const QByteArrayList& values : *lines) {
        QCOMPARE(values.size(), query->fieldCount());
        for (int i = 0; i < query->fieldCount(); ++i)
            if (!isBlobType(query->field(i)->dataType()) && wellFormed(query->field(i)))
                QCOMPARE(values[i], Windows1252::encode(query->field(i)->asString()));
        query->next();
    }
}

void TestExtremeData::checkHtmlExport(const QString& file)
{
    const QString fault
        = htmlFault(fileBytes(file), int(m_window->QuerySQL->recordCount()), m_window->QuerySQL->fieldCount());
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestExtremeData::resultGoesThroughEveryOutput_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    // The memo's message when a row does not fit into it; empty when it is captured.
    QTest::addColumn<QString>("refused");

    QTest::newRow("cell of 50 MB") << QByteArray()
                                   << "SELECT 1 AS n, replace(hex(zeroblob(25000000)), '00', 'ab') AS big" << 2 << 1
                                   << "Texte trop long pour la zone de capture : 50000002 caractères, au plus 1048576.";
    QStringList many;
    for (int i = 1; i <= 1000; ++i)
        many << QStringLiteral("x * %1 AS c%1").arg(i);
    QTest::newRow("1,000 columns")
        << QByteArray()
        << "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < 5) SELECT "
            + many.join(QStringLiteral(", ")) + " FROM r"
        << 1000 << 5 << "";
    QTest::newRow("zero bytes and ill-formed UTF-8 in values and column names")
        << QByteArray("CREATE TABLE odd (\"nom\xff\xfe\" VARCHAR(10), \"m\xc0\xaf\" TEXT, \"b\xed\xa0\x80\" BLOB,"
                      " \"s\xf4\x90\x80\x80\" VARCHAR(10), \"<&>\xe2\x82\" VARCHAR(10));"
                      "INSERT INTO odd VALUES (CAST(x'4100420043' AS TEXT), CAST(x'410d0a00ff42' AS TEXT),"
                      " x'00ff00', CAST(x'e282acc3a9eda080f09f9880c0af41e282' AS TEXT), CAST(x'c2a03c263e22' AS TEXT)),"
                      " (CAST(x'00' AS TEXT), CAST(x'' AS TEXT), x'', CAST(x'3c263e22' AS TEXT), NULL)")
        << "SELECT * FROM odd" << 5 << 2 << "";
    QTest::newRow("statement of 1 MB")
        << QByteArray() << QStringLiteral("SELECT length('%1') AS n, 'fin' AS f").arg(QString(1 << 20, u'x')) << 2 << 1
        << "";
}

void TestExtremeData::resultGoesThroughEveryOutput()
{
    QFETCH(QByteArray, setup);
    QFETCH(QString, statement);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QString, refused);
    open(setup);
    run(statement);
    QCOMPARE(m_dialogs->messageTexts(), QStringList());
    QCOMPARE(m_window->ComboBoxSQL->currentText(), statement);
    QCOMPARE(m_window->QuerySQL->recordCount(), qsizetype(rows));
    QCOMPARE(m_window->QuerySQL->fieldCount(), columns);
    if (statement.size() > (1 << 20))
        QCOMPARE(m_window->QuerySQL->field(0)->asString(), QString::number(1 << 20));

    // The grid paints every cell it shows.
    QCOMPARE(m_window->DBGridSQL->model()->columnCount(), columns);
    QVERIFY(!m_window->DBGridSQL->viewport()->grab().isNull());

    // The first row captured whole, then appended to the capture editor.
    m_window->PopupLigne->trigger();
    clickCell(0, 0);
    const QString captured = refused.isEmpty() ? firstRowCapture(QStringLiteral(";")) : QString();
    QCOMPARE(m_dialogs->messageTexts(), refused.isEmpty() ? QStringList() : QStringList { refused });
    QCOMPARE(m_window->memoText(), captured);
    QTest::mouseClick(m_window->ToolButtonCapturerSQL, Qt::LeftButton);
    QCOMPARE(m_clip->plainText(), captured + QStringLiteral("\r\n"));
    m_dialogs->calls.clear();

    QTemporaryDir dir;
    m_dialogs->saveAnswers << Dialogs::SaveFileResult { dir.filePath(QStringLiteral("r.txt")), 2 };
    QTest::mouseClick(m_window->ToolButtonEnregistrer, Qt::LeftButton);
    m_dialogs->saveAnswers << Dialogs::SaveFileResult { dir.filePath(QStringLiteral("r.htm")), 1 };
    QTest::mouseClick(m_window->ToolButtonEnregistrer, Qt::LeftButton);
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    m_dialogs->printAnswers << [pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    QTest::mouseClick(m_window->ToolButtonImprimer, Qt::LeftButton);
    QCOMPARE(m_dialogs->messageTexts(), QStringList());

    checkTextExport(dir.filePath(QStringLiteral("r.txt")), ';');
    checkHtmlExport(dir.filePath(QStringLiteral("r.htm")));
    // The listing holds what shows on its pages, not what runs off the paper.
    QVERIFY2(QFileInfo(pdf).size() < 200000, qPrintable(QString::number(QFileInfo(pdf).size())));
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") });
    if (!reader.waitForStarted())
        QSKIP("pdftotext is not installed");
    QVERIFY(reader.waitForFinished());
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(reader.readAllStandardError(), QByteArray());
}

// A separator of 10,000 characters joins captured cells whole, and its first
// character alone delimits the text export.
void TestExtremeData::longSeparatorJoinsEveryPiece()
{
    open("CREATE TABLE t (a VARCHAR(10), b VARCHAR(10)); INSERT INTO t VALUES ('x', 'y'), ('z', 'w');"
         "UPDATE ListBase SET POLICE5 = '|' || substr(replace(hex(zeroblob(5000)), '0', '€'), 2)");
    const QString separator = QLatin1Char('|') + QString(9999, QChar(0x20AC));
    run(QStringLiteral("SELECT * FROM t"));
    m_window->PopupAjout->trigger();
    clickCell(0, 0);
    clickCell(1, 1);
    m_window->PopupLigne->trigger();
    clickCell(1, 0);
    const QString capture = QStringList { "x", "w", "z", "w" }.join(separator);
    QCOMPARE(m_window->memoText(), capture);
    QTest::mouseClick(m_window->ToolButtonCapturerSQL, Qt::LeftButton);
    QCOMPARE(m_clip->plainText(), capture + QStringLiteral("\r\n"));

    QTemporaryDir dir;
    m_dialogs->saveAnswers << Dialogs::SaveFileResult { dir.filePath(QStringLiteral("r.txt")), 2 };
    QTest::mouseClick(m_window->ToolButtonEnregistrer, Qt::LeftButton);
    QCOMPARE(m_dialogs->messageTexts(), QStringList());
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("r.txt"))), QByteArray("\"x\"|\"y\"\r\n\"z\"|\"w\"\r\n"));
}

// A statement of 1 MB kept in the remembered list is offered in the drop-down list,
// runs whole when chosen there, and is stored again whole with the list: its
// non-breaking space too.
void TestExtremeData::longRememberedStatementRunsWhole()
{
    const QString statement = QStringLiteral("SELECT length('%1\u00A0') AS n").arg(QString((1 << 20) - 1, u'x'));
    open("UPDATE ListBase SET TTTYPES = 'SELECT length(''" + QByteArray((1 << 20) - 1, 'x')
        + "\xc2\xa0'') AS n' || char(13, 10)");
    QCOMPARE(m_window->ComboBoxSQL->count(), 1);
    m_window->ComboBoxSQL->setCurrentIndex(0);
    QCOMPARE(m_window->ComboBoxSQL->currentText(), statement);
    QTest::mouseClick(m_window->ToolButtonResult, Qt::LeftButton);
    QCOMPARE(m_dialogs->messageTexts(), QStringList());
    QCOMPARE(m_window->QuerySQL->field(0)->asString(), QString::number(1 << 20));

    m_window->ComboBoxSQL->setEditText(QStringLiteral("SELECT 2"));
    QTest::mouseClick(m_window->ToolButtonAjout, Qt::LeftButton);
    m_dialogs->messageAnswers << 0;
    QVERIFY(m_window->close());
    QCOMPARE(m_db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(),
        statement + QStringLiteral("\r\nSELECT 2\r\n"));
}

// The capture editor lays its lines out as they wrap, which for a run of text that
// has no break opportunity costs the square of the run's length: a capture it cannot
// lay out promptly is refused whole, with the editor's own message, instead of
// leaving the program busy for minutes.
void TestExtremeData::captureEditorTakesWhatItCanLayOut_data()
{
    QTest::addColumn<QStringList>("captures");
    QTest::addColumn<int>("refused"); // how many of the captures are refused
    const QString words = QStringLiteral("mot ").repeated(250000);
    QTest::newRow("1 MB in words") << QStringList { words } << 0;
    QTest::newRow("a word of 20,000 letters") << QStringList { QString(20000, u'x') } << 0;
    QTest::newRow("a word of 1 MB") << QStringList { QString(1 << 20, u'x') } << 1;
    QTest::newRow("more than 1 MB in all") << QStringList { words, QStringLiteral("mot ").repeated(20000) } << 1;
}

void TestExtremeData::captureEditorTakesWhatItCanLayOut()
{
    QFETCH(QStringList, captures);
    QFETCH(int, refused);
    open({});
    QString taken;
    for (const QString& capture : captures) {
        m_window->setMemoText(capture);
        const qsizetype before = m_dialogs->messageTexts().size();
        QTest::mouseClick(m_window->ToolButtonCapturerSQL, Qt::LeftButton);
        if (m_dialogs->messageTexts().size() == before)
            taken += capture + QStringLiteral("\r\n");
    }
    QCOMPARE(m_dialogs->messageTexts(), QStringList(refused, QStringLiteral("Erreur d'insertion de ligne RichEdit.")));
    QCOMPARE(m_clip->plainText(), taken);
    QCOMPARE(m_clip->laidOutLines().isEmpty(), taken.isEmpty());
}

QTEST_MAIN(TestExtremeData)
#include "tst_extremedata.moc"
