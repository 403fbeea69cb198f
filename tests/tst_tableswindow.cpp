#include "QueryWindow.h"
#include "ui/ErrorGuard.h"
#include "ui/sql/CatalogueModel.h"
#include "ui/sql/TablesWindow.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

// "Tables" (Ctrl+T): the tables and columns of the database beside the query window,
// narrowed by a filter; a choice writes into the statement box.
class TestTablesWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup() { m_q.reset(); }

    void listsTablesColumnsAndKeys();
    void filterNarrowsAsOneTypes_data();
    void filterNarrowsAsOneTypes();
    void choiceWritesTheName_data();
    void choiceWritesTheName();
    void writtenFollowsTheEngine_data();
    void writtenFollowsTheEngine();
    void readAgainAfterSchemaChanges_data();
    void readAgainAfterSchemaChanges();
    void oddNamesStayOnOneLine();
    void windowOfItsOwnInTheSystemFont();

private:
    TablesWindow* open();
    // The tables shown, joined by "|".
    static QString shownTables(const TablesWindow* w);
    // The first-level line named name (a table, or a schema when grouped).
    static QModelIndex line(const TablesWindow* w, const QString& name, const QModelIndex& parent = {});

    QueryWindow m_q;
};

void TestTablesWindow::init()
{
    m_q.createDatabase(QStringLiteral(
        "CREATE TABLE PaBase (NOM VARCHAR(20), SOLDE MONEY); CREATE TABLE Visites (id INTEGER PRIMARY KEY, patient);"
        "CREATE TABLE factures (visite INTEGER, ligne INTEGER, montant MONEY, PRIMARY KEY (visite, ligne));"
        "CREATE TABLE \"Od\"\"d;x\" (\"a b\", \"li\ngne\"); CREATE TABLE \"Order\" (n);"
        "CREATE VIEW soldes AS SELECT NOM, SOLDE FROM PaBase"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
}

TablesWindow* TestTablesWindow::open()
{
    QTest::keyClick(m_q.window->ComboBoxSQL, Qt::Key_T, Qt::ControlModifier);
    auto* w = m_q.window->findChild<TablesWindow*>();
    return w && QTest::qWaitForWindowActive(w) ? w : nullptr;
}

QString TestTablesWindow::shownTables(const TablesWindow* w)
{
    QStringList names;
    for (int r = 0; r < w->model()->rowCount(); ++r)
        names << w->model()->index(r, 0).data().toString();
    return names.join(QLatin1Char('|'));
}

QModelIndex TestTablesWindow::line(const TablesWindow* w, const QString& name, const QModelIndex& parent)
{
    const QModelIndexList found = w->model()->match(
        w->model()->index(0, 0, parent), Qt::DisplayRole, name, 1, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return found.value(0);
}

void TestTablesWindow::listsTablesColumnsAndKeys()
{
    TablesWindow* w = open();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Tables"));
    QCOMPARE(shownTables(w), QStringLiteral("factures|ListBase|Od\"d;x|Order|PaBase|soldes|Visites"));
    QCOMPARE(w->status()->text(), QStringLiteral("7 tables"));
    QStringList lines;
    for (const QString& table : { QStringLiteral("factures"), QStringLiteral("soldes") }) {
        const QModelIndex t = line(w, table);
        lines << table + QLatin1Char(' ') + t.siblingAtColumn(1).data().toString();
        for (int r = 0; r < w->model()->rowCount(t); ++r)
            lines << QStringLiteral("  %1 %2 %3")
                         .arg(w->model()->index(r, 0, t).data().toString(),
                             w->model()->index(r, 1, t).data().toString(), w->model()->index(r, 2, t).data().toString())
                         .trimmed();
    }
    QCOMPARE(lines,
        QStringList({ "factures table", "visite INTEGER 1 sur 2", "ligne INTEGER 2 sur 2", "montant MONEY",
            "soldes vue", "NOM VARCHAR(20)", "SOLDE MONEY" }));
    QCOMPARE(w->model()->index(0, 2, line(w, QStringLiteral("Visites"))).data().toString(), QStringLiteral("oui"));
}

void TestTablesWindow::filterNarrowsAsOneTypes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("status");
    QTest::newRow("nothing typed") << ""
                                   << "factures|ListBase|Od\"d;x|Order|PaBase|soldes|Visites"
                                   << "7 tables";
    QTest::newRow("a table's name, letter case aside") << "pab"
                                                       << "PaBase"
                                                       << "1 sur 7 tables";
    QTest::newRow("a column's name keeps its table") << "visite"
                                                     << "factures|Visites"
                                                     << "2 sur 7 tables";
    QTest::newRow("a name with a quote") << "d\"d"
                                         << "Od\"d;x"
                                         << "1 sur 7 tables";
    QTest::newRow("a blank inside a name") << "a b"
                                           << "Od\"d;x"
                                           << "1 sur 7 tables";
    QTest::newRow("nothing matches") << "zzz"
                                     << ""
                                     << "0 sur 7 tables";
}

void TestTablesWindow::filterNarrowsAsOneTypes()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, status);
    TablesWindow* w = open();
    QVERIFY(w);
    QTRY_COMPARE(QApplication::focusWidget(), w->filter());
    QAbstractItemModelTester tester(w->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QTest::keyClicks(w->filter(), typed);
    QCOMPARE(shownTables(w), shown);
    QCOMPARE(w->status()->text(), status);
    // The first table shown is the one Enter takes.
    QCOMPARE(w->list()->currentIndex(), w->model()->firstTable());
}

void TestTablesWindow::choiceWritesTheName_data()
{
    QTest::addColumn<QString>("filter"); // typed first
    QTest::addColumn<QString>("path"); // table/column of the list; empty: Enter in the filter
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("caret"); // in the box, which holds "SELECT  FROM t"
    QTest::addColumn<QString>("box"); // after the choice
    QTest::newRow("a table by Enter") << ""
                                      << "PaBase" << false << 7 << "SELECT * FROM PaBase";
    QTest::newRow("a table by a double-click") << ""
                                               << "Visites" << true << 7 << "SELECT * FROM Visites";
    QTest::newRow("Enter in the filter takes the first table") << "vis"
                                                               << "" << false << 7 << "SELECT * FROM factures";
    QTest::newRow("a quote and a semicolon") << ""
                                             << "Od\"d;x" << false << 0 << "SELECT * FROM \"Od\"\"d;x\"";
    QTest::newRow("a table named like a keyword") << ""
                                                  << "Order" << false << 0 << "SELECT * FROM \"Order\"";
    QTest::newRow("a column at the caret") << ""
                                           << "PaBase/NOM" << false << 7 << "SELECT NOM FROM t";
    QTest::newRow("a column at the start") << ""
                                           << "PaBase/SOLDE" << true << 0 << "SOLDESELECT  FROM t";
    QTest::newRow("a column with a blank") << ""
                                           << "Od\"d;x/a b" << false << 7 << "SELECT \"a b\" FROM t";
    // A statement is one line: the name cannot be written in it, and the list says so.
    QTest::newRow("a column with a line break") << ""
                                                << "Od\"d;x/li↵gne" << false << 7 << "SELECT  FROM t";
}

void TestTablesWindow::choiceWritesTheName()
{
    QFETCH(QString, filter);
    QFETCH(QString, path);
    QFETCH(bool, doubleClick);
    QFETCH(int, caret);
    QFETCH(QString, box);
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("SELECT  FROM t"));
    m_q.window->ComboBoxSQL->lineEdit()->setCursorPosition(caret);
    TablesWindow* w = open();
    QVERIFY(w);
    QTest::keyClicks(w->filter(), filter);
    QWidget* keys = w->filter();
    if (!path.isEmpty()) {
        const QStringList parts = path.split(QLatin1Char('/'));
        QModelIndex at = line(w, parts[0]);
        if (parts.size() > 1)
            at = line(w, parts[1], at);
        QVERIFY(at.isValid());
        w->list()->setCurrentIndex(at);
        w->list()->scrollTo(at);
        keys = w->list();
        if (doubleClick) {
            // A double-click comes after the first click's press and release.
            const QPoint centre = w->list()->visualRect(at).center();
            QTest::mouseClick(w->list()->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(w->list()->viewport(), Qt::LeftButton, {}, centre);
        }
    }
    if (!doubleClick)
        QTest::keyClick(keys, Qt::Key_Return);
    QCOMPARE(m_q.window->ComboBoxSQL->currentText(), box);
    // Nothing ran.
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QString());
    const bool written = box != QLatin1String("SELECT  FROM t");
    QCOMPARE(w->status()->text().contains(QLatin1String("saut de ligne")), !written);
    if (written)
        QTRY_VERIFY(QApplication::focusWidget() == m_q.window->ComboBoxSQL->lineEdit()
            || QApplication::focusWidget() == m_q.window->ComboBoxSQL);
}

void TestTablesWindow::writtenFollowsTheEngine_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("reachedByName");
    QTest::addColumn<bool>("foldsToLower");
    QTest::addColumn<QString>("written");
    QTest::newRow("small letters on PostgreSQL") << "public"
                                                 << "patients" << true << true << "patients";
    QTest::newRow("a capital on PostgreSQL") << "public"
                                             << "Patients" << true << true << "\"Patients\"";
    QTest::newRow("a capital on SQLite") << ""
                                         << "Patients" << true << false << "Patients";
    QTest::newRow("off the search path") << "ventes"
                                         << "factures" << false << true << "ventes.factures";
    QTest::newRow("a schema that needs quotes") << "Ventes 2"
                                                << "f" << false << true << "\"Ventes 2\".f";
    QTest::newRow("a line break in the schema") << "v\nx"
                                                << "f" << false << true << "";
}

void TestTablesWindow::writtenFollowsTheEngine()
{
    QFETCH(QString, schema);
    QFETCH(QString, name);
    QFETCH(bool, reachedByName);
    QFETCH(bool, foldsToLower);
    QFETCH(QString, written);
    CatalogueModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setNames(SqlNames {
        { CatalogueTable { name, schema, false, reachedByName, { { "n", "integer", 1 } } } }, foldsToLower });
    const QModelIndex table = model.firstTable();
    QCOMPARE(model.kind(table), CatalogueModel::Kind::Table);
    QCOMPARE(model.written(table), written);
    QCOMPARE(model.grouped(), !schema.isEmpty());
    if (model.grouped())
        QCOMPARE(model.index(0, 0).data().toString(), CatalogueModel::shown(schema));
    QCOMPARE(model.written(model.index(0, 0, table)), QStringLiteral("n"));
}

void TestTablesWindow::readAgainAfterSchemaChanges_data()
{
    QTest::addColumn<QString>("statement"); // run in the window; empty: "Actualiser"
    QTest::addColumn<bool>("readAgain");
    QTest::newRow("CREATE") << "CREATE TABLE autre (x); SELECT 1" << true;
    QTest::newRow("DROP, in small letters") << "drop table Visites; SELECT 1" << true;
    QTest::newRow("ALTER") << "ALTER TABLE PaBase ADD COLUMN ville; SELECT 1" << true;
    QTest::newRow("a failed CREATE") << "CREATE TABLE PaBase (x)" << true;
    QTest::newRow("Actualiser") << "" << true;
    QTest::newRow("SELECT") << "SELECT * FROM PaBase" << false;
    QTest::newRow("INSERT") << "INSERT INTO PaBase VALUES ('x', 1); SELECT 1" << false;
    QTest::newRow("CREATE in a comment and in a text") << "SELECT 'DROP TABLE x' -- CREATE TABLE y" << false;
}

// The catalogue is read once, and again after a statement that may change it: a table
// that another program made shows then, and only then.
void TestTablesWindow::readAgainAfterSchemaChanges()
{
    QFETCH(QString, statement);
    QFETCH(bool, readAgain);
    TablesWindow* w = open();
    QVERIFY(w);
    m_q.db->exec(QStringLiteral("CREATE TABLE venue_d_ailleurs (x)"));
    if (statement.isEmpty())
        w->findChild<QPushButton*>(QStringLiteral("TablesReload"))->click();
    else
        guarded([this, &statement] { m_q.run(statement); });
    QCOMPARE(line(w, QStringLiteral("venue_d_ailleurs")).isValid(), readAgain);
    // Completion reads the same names.
    m_q.window->ComboBoxSQL->setFocus();
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("SELECT * FROM venue"));
    QTest::keyClick(m_q.window->ComboBoxSQL, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(m_q.window->ComboBoxSQL->currentText().endsWith(QLatin1String("venue_d_ailleurs")), readAgain);
}

// Line breaks, quotes and huge names leave every line of the list one line high and
// the window its size.
void TestTablesWindow::oddNamesStayOnOneLine()
{
    const QString huge(100'000, QLatin1Char('n'));
    m_q.db->exec(
        QStringLiteral("CREATE TABLE %1 (\"a\r\nb\" INTEGER PRIMARY KEY); CREATE TABLE \"x\n\"\"y\" (%1)").arg(huge));
    TablesWindow* w = open();
    QVERIFY(w);
    const QSize size = w->size();
    const QModelIndex big = line(w, huge.left(200) + QChar(0x2026));
    QVERIFY(big.isValid());
    QCOMPARE(w->model()->index(0, 0, big).data().toString(), QStringLiteral("a↵b"));
    const QModelIndex broken = line(w, QStringLiteral("x↵\"y"));
    QVERIFY(broken.isValid());
    QCOMPARE(w->model()->index(0, 0, broken).data().toString().size(), 201);
    QCOMPARE(w->list()->visualRect(big).height(), w->list()->visualRect(broken).height());
    // The huge name is a plain word: it goes whole into the box.
    w->list()->setCurrentIndex(big);
    QTest::keyClick(w->list(), Qt::Key_Return);
    QCOMPARE(m_q.window->ComboBoxSQL->currentText(), QStringLiteral("SELECT * FROM ") + huge);
    QCOMPARE(w->size(), size);
}

// The list is a window of its own: the query window keeps its place, size and font,
// and the list takes the system's font, growing with it.
void TestTablesWindow::windowOfItsOwnInTheSystemFont()
{
    const QRect geometry = m_q.window->geometry();
    const QFont windowFont = m_q.window->font();
    const QFont systemFont = QApplication::font();
    TablesWindow* w = open();
    QVERIFY(w);
    QVERIFY(w->isWindow());
    QCOMPARE(w->font(), QApplication::font());
    QCOMPARE(m_q.window->geometry(), geometry);
    QCOMPARE(m_q.window->font(), windowFont);
    const QSize small = w->size();
    QFont large = systemFont;
    large.setPointSizeF(systemFont.pointSizeF() * 2);
    QApplication::setFont(large);
    const QSize grown = TablesWindow().size();
    QApplication::setFont(systemFont);
    QVERIFY2(grown.width() > small.width() && grown.height() > small.height(),
        qPrintable(QStringLiteral("%1x%2 -> %3x%4")
                       .arg(small.width())
                       .arg(small.height())
                       .arg(grown.width())
                       .arg(grown.height())));
}

QTEST_MAIN(TestTablesWindow)
#include "tst_tableswindow.moc"
