#include "ClipBoard.h"
#include "DBGrid.h"
#include "DBMemo.h"
#include "ErrorGuard.h"
#include "Exceptions.h"
#include "OtherProgram.h"
#include "Query.h"
#include "SQL.h"
#include "ScriptedDialogs.h"
#include "Table.h"
#include "TestDatabase.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <memory>

// Cell inspection and capture through real clicks on the grid's cells.
class TestCapture : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void clicksBuildCapture_data();
    void clicksBuildCapture();
    void memoOfBlanksIsNotEmpty();
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

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TFicheClip> m_clip;
    std::unique_ptr<TFicheSQL> m_window;
};

void TestCapture::open(const QString& separator, const QString& table, const QString& statement)
{
    m_db = std::make_unique<TestDatabase>();
    QString escaped = separator;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    m_db->exec(QStringLiteral("UPDATE ListBase SET POLICE5 = '%1'").arg(escaped));
    if (!table.isEmpty())
        m_db->exec(table);
    showWindows();
    if (!statement.isEmpty()) {
        m_window->ComboBoxSQL->setEditText(statement);
        m_window->ToolButtonResultClick(nullptr);
    }
}

void TestCapture::showWindows()
{
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_clip = std::make_unique<TFicheClip>();
    FicheClip = m_clip.get();
    m_window = std::make_unique<TFicheSQL>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestCapture::cleanup()
{
    m_window.reset();
    FicheClip = nullptr;
    m_clip.reset();
    m_dialogs.reset();
    m_db.reset();
}

void TestCapture::click(int row, int column)
{
    TDBGrid* grid = m_window->DBGridSQL;
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
    QTest::newRow("add cell, empty separator") << "PopupAjout"
                                               << ""
                                               << "10,5Durand";
    QTest::newRow("add cell, long separator") << "PopupAjout"
                                              << " | "
                                              << "10,5 | Durand";
    QTest::newRow("add cell, line break") << "PopupAjout"
                                          << "\r\n"
                                          << "10,5\r\nDurand";
    QTest::newRow("add line") << "PopupLigne"
                              << ";"
                              << "Martin;10,5;Durand;";
    QTest::newRow("add line, empty separator") << "PopupLigne"
                                               << ""
                                               << "Martin10,5Durand";
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
    m_window->findChild<QAction*>(mode)->trigger();
    click(0, 1);
    click(1, 0);
    QCOMPARE(m_window->memoText(), expected);
    QCOMPARE(m_window->QuerySQL->recNo(), qsizetype(1));
}

void TestCapture::memoOfBlanksIsNotEmpty()
{
    open(QStringLiteral(";"), QStringLiteral("CREATE TABLE t (a TEXT); INSERT INTO t VALUES ('x')"),
        QStringLiteral("SELECT * FROM t"));
    m_window->PopupAjout->trigger();
    m_window->setMemoText(QStringLiteral("  "));
    click(0, 0);
    QCOMPARE(m_window->memoText(), QStringLiteral("  ;x"));
}

void TestCapture::cellTextIsFieldValueNotDisplay()
{
    open(QStringLiteral(";"),
        QStringLiteral("CREATE TABLE t (m TEXT, b BLOB, n VARCHAR(5), v TEXT);"
                       "INSERT INTO t VALUES ('ligne 1' || char(13, 10) || 'ligne 2', x'414243', NULL, '   ')"),
        QStringLiteral("SELECT * FROM t"));
    m_window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_window->memoText(), QStringLiteral("ligne 1\r\nligne 2;ABC;;   "));
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
    m_window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_window->memoText(), expected.join(QLatin1Char(',')));
}

void TestCapture::rowCaptureFollowsMovedColumns()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'a' AS A, 'b' AS B, 'c' AS C"));
    m_window->DBGridSQL->horizontalHeader()->moveSection(0, 2);
    m_window->PopupLigne->trigger();
    click(0, 0);
    QCOMPARE(m_window->memoText(), QStringLiteral("b;c;a"));
}

void TestCapture::doubleClickActsAsTwoClicks()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'x' AS A"));
    m_window->PopupAjout->trigger();
    TDBGrid* grid = m_window->DBGridSQL;
    const QPoint centre = grid->visualRect(grid->model()->index(0, 0)).center();
    // What the window system sends for a double click: press, release, double click, release.
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, centre);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, grid->viewport()->mapToGlobal(centre), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &doubleClick);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(m_window->memoText(), QStringLiteral("x;x"));
}

void TestCapture::clickWithoutResultChangesNothing()
{
    open(QStringLiteral(";"), QString(), QStringLiteral("SELECT 'x' AS A"));
    m_window->setMemoText(QStringLiteral("avant"));
    m_window->ComboBoxSQL->setEditText(QStringLiteral("SELECT * FROM nowhere"));
    guarded([this] { m_window->ToolButtonResultClick(nullptr); });
    m_dialogs->calls.clear();
    m_window->DBGridSQLCellClick(0);
    QCOMPARE(m_window->memoText(), QStringLiteral("avant"));
    QVERIFY(m_dialogs->calls.isEmpty());
}

void TestCapture::missingSeparatorFieldFailsEveryClick()
{
    m_db = std::make_unique<TestDatabase>(TestDatabase::Empty);
    m_db->exec(QStringLiteral("CREATE TABLE ListBase (TTTYPES TEXT); INSERT INTO ListBase VALUES ('')"));
    showWindows();
    m_window->setMemoText(QStringLiteral("avant"));
    // Without an open result, and with one.
    guarded([this] { m_window->DBGridSQLCellClick(0); });
    m_window->ComboBoxSQL->setEditText(QStringLiteral("SELECT 'x' AS A"));
    m_window->ToolButtonResultClick(nullptr);
    click(0, 0);
    const QString message = QStringLiteral("TableSQL : Champ 'POLICE5' non trouvé.");
    QCOMPARE(m_dialogs->messageTexts(), QStringList({ message, message }));
    QCOMPARE(m_window->memoText(), QStringLiteral("avant"));
}

void TestCapture::modesAreOneRadioGroup()
{
    open(QStringLiteral(";"), QString(), QString());
    QVERIFY(m_window->PopupRempla->isChecked());
    m_window->PopupLigne->trigger();
    QVERIFY(m_window->PopupLigne->isChecked());
    QVERIFY(!m_window->PopupRempla->isChecked() && !m_window->PopupAjout->isChecked());
    m_window->PopupLigne->trigger();
    QVERIFY(m_window->PopupLigne->isChecked());
}

void TestCapture::captureButtonAppendsMemoAsLine()
{
    open(QStringLiteral(";"), QString(), QString());
    m_window->setMemoText(QStringLiteral("a\r\nb"));
    QTest::mouseClick(m_window->ToolButtonCapturerSQL, Qt::LeftButton);
    QTest::mouseClick(m_window->ToolButtonCapturerSQL, Qt::LeftButton);
    QCOMPARE(m_clip->plainText(), QStringLiteral("a\r\nb\r\na\r\nb\r\n"));
    QCOMPARE(m_window->memoText(), QStringLiteral("a\r\nb"));
    QVERIFY(!m_clip->isVisible());
    QTest::mouseClick(m_window->ToolButtonVoirSQL, Qt::LeftButton);
    QVERIFY(m_clip->isVisible());
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
    m_window->PopupAjout->trigger();
    if (where.endsWith(QLatin1String("editing"))) {
        m_window->DBMemoSQL->setFocus();
        QTest::keyClicks(m_window->DBMemoSQL, QStringLiteral("S1"));
    }
    const QString change = QStringLiteral("UPDATE ListBase SET POLICE5 = '#@'");
    if (where.startsWith(QLatin1String("other"))) {
        click(0, 1);
        QCOMPARE(runInOtherProgram(m_db->path(), change), QString());
    } else {
        m_window->ComboBoxSQL->setEditText(change);
        guarded([this] { m_window->ToolButtonResultClick(nullptr); });
        m_window->ComboBoxSQL->setEditText(statement);
        m_window->ToolButtonResultClick(nullptr);
        click(0, 1);
    }
    click(1, 0);
    QCOMPARE(m_window->memoText(), QStringLiteral("10,5#@Durand"));
    if (where.endsWith(QLatin1String("editing"))) {
        // The list being edited is never reloaded under the user's hands.
        QCOMPARE(m_window->DBMemoSQL->text(), QStringLiteral("S1"));
        QCOMPARE(m_window->TableSQL->state(), TDataSet::dsEdit);
    }
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
