#include "OtherProgram.h"
#include "QueryWindow.h"
#include "data/Query.h"
#include "data/Table.h"
#include "platform/Exceptions.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

// Cell inspection and capture through real clicks on the grid's cells; how the
// memo grows from the cells' texts is tested as values in tst_capturerules.
class TestCapture : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void clicksBuildCapture_data();
    void clicksBuildCapture();
    void cellTextIsFieldValueNotDisplay();
    void rowCaptureTakesEveryColumn();
    void rowCaptureFollowsMovedColumns();
    void doubleClickActsAsTwoClicks();
    void clickWithoutResultChangesNothing();
    void missingSeparatorFieldFailsEveryClick();
    void modesAreOneRadioGroup();
    void captureButtonAppendsMemoAsLine();
    void separatorChangedElsewhereJoinsNextClick_data();
    void separatorChangedElsewhereJoinsNextClick();

private:
    void open(const QString& separator, const QString& table, const QString& statement);
    void showWindows();
    void click(int row, int column);

    QueryWindow m_q;
};

void TestCapture::open(const QString& separator, const QString& table, const QString& statement)
{
    m_q.createDatabase();
    m_q.setSetting(QStringLiteral("POLICE5"), separator);
    if (!table.isEmpty())
        m_q.db->exec(table);
    showWindows();
    if (!statement.isEmpty())
        m_q.run(statement);
}

void TestCapture::showWindows()
{
    m_q.createCaptureEditor();
    m_q.createWindow().show();
    QVERIFY(QTest::qWaitForWindowExposed(m_q.window.get()));
}

void TestCapture::cleanup()
{
    m_q.reset();
}

void TestCapture::click(int row, int column)
{
    TDBGrid* grid = m_q.window->DBGridSQL;
    const QModelIndex index = grid->model()->index(row, column);
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

void TestCapture::clicksBuildCapture_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    // Clicks: (0,1) then (1,0).
    QTest::newRow("replace") << "PopupRempla"
                             << ";"
                             << "Durand";
    QTest::newRow("add cell") << "PopupAjout"
                              << ";"
                              << "10,5;Durand";
    QTest::newRow("add cell, line break") << "PopupAjout"
                                          << "\r\n"
                                          << "10,5\r\nDurand";
    QTest::newRow("add line") << "PopupLigne"
                              << ";"
                              << "Martin;10,5;Durand;";
    QTest::newRow("add line, line break") << "PopupLigne"
                                          << "\r\n"
                                          << "Martin\r\n10,5\r\nDurand\r\n";
}

void TestCapture::clicksBuildCapture()
{
    QFETCH(QString, mode);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    open(separator,
        QStringLiteral("CREATE TABLE t (NOM VARCHAR(20), SOLDE MONEY);"
                       "INSERT INTO t VALUES ('Martin', 10.5), ('Durand', NULL)"),
        QStringLiteral("SELECT * FROM t"));
    m_q.window->findChild<QAction*>(mode)->trigger();
    click(0, 1);
    click(1, 0);
    QCOMPARE(m_q.window->memoText(), expected);
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(1));
}

void TestCapture::cellTextIsFieldValueNotDisplay()
{
    open(QStringLiteral(";"),
        QStringLiteral("CREATE TABLE t (m TEXT, b BLOB, n VARCHAR(5), v TEXT);"
                       "INSERT INTO t VALUES ('ligne 1' || char(13, 10) || 'ligne 2', x'414243', NULL, '   ')"),
        QStringLiteral("SELECT * FROM t"));
    m_q.window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_q.window->memoText(), QStringLiteral("ligne 1\r\nligne 2;ABC;;   "));
}

void TestCapture::rowCaptureTakesEveryColumn()
{
    QStringList columns;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        columns << QStringLiteral("%1 AS c%1").arg(i);
        expected << QString::number(i);
    }
    open(QStringLiteral(","), QString(), QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")));
    m_q.window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_q.window->memoText(), expected.join(QLatin1Char(',')));
}

void TestCapture::rowCaptureFollowsMovedColumns()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'a' AS A, 'b' AS B, 'c' AS C"));
    m_q.window->DBGridSQL->horizontalHeader()->moveSection(0, 2);
    m_q.window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_q.window->memoText(), QStringLiteral("b;c;a"));
}

void TestCapture::doubleClickActsAsTwoClicks()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'x' AS A"));
    m_q.window->PopupAjout->trigger();
    TDBGrid* grid = m_q.window->DBGridSQL;
    const QPoint centre = grid->visualRect(grid->model()->index(0, 0)).center();
    // What the window system sends for a double click: press, release, double click, release.
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, centre);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, grid->viewport()->mapToGlobal(centre), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &doubleClick);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(m_q.window->memoText(), QStringLiteral("x;x"));
}

void TestCapture::clickWithoutResultChangesNothing()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'x' AS A"));
    m_q.window->setMemoText(QStringLiteral("avant"));
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("SELECT * FROM nowhere"));
    guarded([this] { m_q.window->ToolButtonResultClick(nullptr); });
    m_q.dialogs->calls.clear();
    m_q.window->DBGridSQLCellClick(0);
    QCOMPARE(m_q.window->memoText(), QStringLiteral("avant"));
    QVERIFY(m_q.dialogs->calls.isEmpty());
}

void TestCapture::missingSeparatorFieldFailsEveryClick()
{
    m_q.createDatabase(
        QStringLiteral("CREATE TABLE ListBase (TTTYPES TEXT); INSERT INTO ListBase VALUES ('')"), TestDatabase::Empty);
    showWindows();
    m_q.window->setMemoText(QStringLiteral("avant"));
    // Without an open result, and with one.
    guarded([this] { m_q.window->DBGridSQLCellClick(0); });
    m_q.run(QStringLiteral("SELECT 'x' AS A"));
    click(0, 0);
    const QString message = QStringLiteral("TableSQL : Champ 'POLICE5' non trouvé.");
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList({ message, message }));
    QCOMPARE(m_q.window->memoText(), QStringLiteral("avant"));
}

void TestCapture::modesAreOneRadioGroup()
{
    open(QStringLiteral(";"), QString(), QString());
    QVERIFY(m_q.window->PopupRempla->isChecked());
    m_q.window->PopupLigne->trigger();
    QVERIFY(m_q.window->PopupLigne->isChecked());
    QVERIFY(!m_q.window->PopupRempla->isChecked() && !m_q.window->PopupAjout->isChecked());
    m_q.window->PopupLigne->trigger();
    QVERIFY(m_q.window->PopupLigne->isChecked());
}

void TestCapture::captureButtonAppendsMemoAsLine()
{
    open(QStringLiteral(";"), QString(), QString());
    m_q.window->setMemoText(QStringLiteral("a\r\nb"));
    QTest::mouseClick(m_q.window->ToolButtonCapturerSQL, Qt::LeftButton);
    QTest::mouseClick(m_q.window->ToolButtonCapturerSQL, Qt::LeftButton);
    QCOMPARE(m_q.clip->plainText(), QStringLiteral("a\r\nb\r\na\r\nb\r\n"));
    QCOMPARE(m_q.window->memoText(), QStringLiteral("a\r\nb"));
    QVERIFY(!m_q.clip->isVisible());
    QTest::mouseClick(m_q.window->ToolButtonVoirSQL, Qt::LeftButton);
    QVERIFY(m_q.clip->isVisible());
}

void TestCapture::separatorChangedElsewhereJoinsNextClick_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("another program") << "other";
    QTest::newRow("another program while the list is edited") << "other, editing";
    QTest::newRow("a statement of this program") << "statement";
}

void TestCapture::separatorChangedElsewhereJoinsNextClick()
{
    QFETCH(QString, where);
    const QString statement = QStringLiteral("SELECT * FROM t");
    open(QStringLiteral(";"),
        QStringLiteral("CREATE TABLE t (NOM VARCHAR(20), SOLDE MONEY);"
                       "INSERT INTO t VALUES ('Martin', 10.5), ('Durand', NULL)"),
        statement);
    m_q.window->PopupAjout->trigger();
    if (where.endsWith(QLatin1String("editing"))) {
        m_q.window->DBMemoSQL->setFocus();
        QTest::keyClicks(m_q.window->DBMemoSQL, QStringLiteral("S1"));
    }
    const QString change = QStringLiteral("UPDATE ListBase SET POLICE5 = '#@'");
    if (where.startsWith(QLatin1String("other"))) {
        click(0, 1);
        QCOMPARE(runInOtherProgram(m_q.db->path(), change), QString());
    } else {
        m_q.window->ComboBoxSQL->setEditText(change);
        guarded([this] { m_q.window->ToolButtonResultClick(nullptr); });
        m_q.window->ComboBoxSQL->setEditText(statement);
        m_q.window->ToolButtonResultClick(nullptr);
        click(0, 1);
    }
    click(1, 0);
    QCOMPARE(m_q.window->memoText(), QStringLiteral("10,5#@Durand"));
    if (where.endsWith(QLatin1String("editing"))) {
        // The list being edited is never reloaded under the user's hands.
        QCOMPARE(m_q.window->DBMemoSQL->text(), QStringLiteral("S1"));
        QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
    }
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
