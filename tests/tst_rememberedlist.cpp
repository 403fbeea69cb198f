#include "OtherProgram.h"
#include "QueryWindow.h"
#include "data/Table.h"
#include "engine/Connection.h"
#include "ui/widgets/DBMemo.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

// The remembered list: the memo bound to TTTYPES, the refresh pass that fills the
// drop-down list, the add button and the question at closing.
class TestRememberedList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup();

    void refreshPassFillsDropDown_data();
    void refreshPassFillsDropDown();
    void passGoesOnPastListedLines();
    void statementAddedBehindRepeatedLineOfferedAtNextStart();
    void typingIntoFirstLineAddsEachText();
    void addButtonAppendsLine_data();
    void addButtonAppendsLine();
    void addButtonOnEmptyTableStartsRecord_data();
    void addButtonOnEmptyTableStartsRecord();
    void closingAsksOnlyWithChanges_data();
    void closingAsksOnlyWithChanges();
    void escapePutsStoredTextBack();
    void readOnlyAliasRefusesChanges();
    void failedPostKeepsWindowOpenAndEditing();
    void closingAfterAnotherProgramWrote_data();
    void closingAfterAnotherProgramWrote();

private:
    void open(const QString& stored, TestDatabase::Content content = TestDatabase::WithSettings);
    QStringList items() const;

    QueryWindow m_q;
};

void TestRememberedList::open(const QString& stored, TestDatabase::Content content)
{
    m_q.createDatabase({}, content);
    if (content == TestDatabase::WithSettings)
        m_q.setSetting(QStringLiteral("TTTYPES"), stored);
    m_q.createWindow();
    QVERIFY(m_q.showActive());
}

void TestRememberedList::cleanup()
{
    m_q.reset();
}

QStringList TestRememberedList::items() const
{
    QStringList result;
    for (int i = 0; i < m_q.window->ComboBoxSQL->count(); ++i)
        result << m_q.window->ComboBoxSQL->itemText(i);
    return result;
}

void TestRememberedList::refreshPassFillsDropDown_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty memo") << "" << QStringList();
    QTest::newRow("S1 S2 S1 S3 offers S3 too") << "S1\r\nS2\r\nS1\r\nS3\r\n" << QStringList { "S1", "S2", "S3" };
    QTest::newRow("final empty line is not a line") << "S1\r\n" << QStringList { "S1" };
    QTest::newRow("empty line inside is an item") << "S1\r\n\r\nS2" << QStringList { "", "S1", "S2" };
    QTest::newRow("second empty line passed over") << "\r\nS1\r\n\r\nS2" << QStringList { "", "S1", "S2" };
    QTest::newRow("case and trailing blank differ") << "s1\r\nS1\r\nS1 " << QStringList { "s1", "S1", "S1 " };
}

void TestRememberedList::refreshPassFillsDropDown()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, expected);
    open(stored);
    QStringList got = items();
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
}

void TestRememberedList::passGoesOnPastListedLines()
{
    open(QStringLiteral("S1\r\nS2\r\n"));
    // A later pass passes over the lines already listed and adds the new third one.
    m_q.window->DBMemoSQL->setText(QStringLiteral("S1\r\nS2\r\nS3\r\n"));
    QCOMPARE(items(), QStringList({ "S1", "S2", "S3" }));
    // A line equal to a statement run since the start is passed over too.
    m_q.run(QStringLiteral("SELECT 7"));
    m_q.window->DBMemoSQL->setText(QStringLiteral("S0\r\nSELECT 7\r\nS1\r\nS4\r\n"));
    QCOMPARE(items(), QStringList({ "S0", "S1", "S2", "S3", "S4", "SELECT 7" }));
}

void TestRememberedList::statementAddedBehindRepeatedLineOfferedAtNextStart()
{
    // A statement added twice, then another one: saved, the next start offers both.
    open(QStringLiteral("S1\r\nS1\r\n"));
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("S2"));
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QVERIFY(items().contains(QStringLiteral("S2")));
    m_q.dialogs->messageAnswers << 0;
    QVERIFY(m_q.window->close());
    QCOMPARE(
        m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QStringLiteral("S1\r\nS1\r\nS2\r\n"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
    QCOMPARE(items(), QStringList({ "S1", "S2" }));
}

void TestRememberedList::typingIntoFirstLineAddsEachText()
{
    open(QStringLiteral("AB\r\nCD\r\n"));
    TDBMemo* memo = m_q.window->DBMemoSQL;
    memo->setFocus();
    memo->moveCursor(QTextCursor::Start);
    memo->moveCursor(QTextCursor::EndOfLine);
    QTest::keyClicks(memo, QStringLiteral("XY"));
    QStringList got = items();
    got.sort();
    QCOMPARE(got, QStringList({ "AB", "ABX", "ABXY", "CD" }));
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
}

void TestRememberedList::addButtonAppendsLine_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty memo") << ""
                                << "SELECT 1"
                                << "SELECT 1\r\n";
    QTest::newRow("after listed line") << "S1\r\n"
                                       << "SELECT 1"
                                       << "S1\r\nSELECT 1\r\n";
    QTest::newRow("line without break") << "S1"
                                        << "SELECT 1"
                                        << "S1\r\nSELECT 1\r\n";
    QTest::newRow("after a repeated line") << "S1\r\nS1\r\n"
                                           << "SELECT 1"
                                           << "S1\r\nS1\r\nSELECT 1\r\n";
    QTest::newRow("duplicate appended again") << "S1\r\n"
                                              << "S1"
                                              << "S1\r\nS1\r\n";
    QTest::newRow("empty statement adds empty line") << "S1\r\n"
                                                     << ""
                                                     << "S1\r\n\r\n";
}

void TestRememberedList::addButtonAppendsLine()
{
    QFETCH(QString, stored);
    QFETCH(QString, statement);
    QFETCH(QString, text);
    open(stored);
    m_q.window->ComboBoxSQL->setEditText(statement);
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QCOMPARE(m_q.window->DBMemoSQL->text(), text);
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
    // The statement is offered at once, whatever lines stand before it.
    QVERIFY(items().contains(statement));
    // Nothing is written before closing.
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), stored);
}

void TestRememberedList::addButtonOnEmptyTableStartsRecord_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("records");
    QTest::newRow("yes stores the new record") << 0 << 1;
    QTest::newRow("no leaves the table empty") << 1 << 0;
}

void TestRememberedList::addButtonOnEmptyTableStartsRecord()
{
    QFETCH(int, answer);
    QFETCH(int, records);
    open(QString());
    m_q.db->exec(QStringLiteral("DELETE FROM ListBase"));
    m_q.createWindow();
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("SELECT 2"));
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsInsert);
    QVERIFY(items().contains(QStringLiteral("SELECT 2")));
    m_q.dialogs->messageAnswers << answer;
    QVERIFY(m_q.window->close());
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT count(*) FROM ListBase")).toInt(), records);
    if (records)
        QCOMPARE(
            m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), QStringLiteral("SELECT 2\r\n"));
}

void TestRememberedList::closingAsksOnlyWithChanges_data()
{
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("stored");
    QTest::newRow("no change asks nothing") << false << -1 << "S1\r\n";
    QTest::newRow("yes saves") << true << 0 << "S1\r\nS2\r\n";
    QTest::newRow("no keeps stored list") << true << 1 << "S1\r\n";
}

void TestRememberedList::closingAsksOnlyWithChanges()
{
    QFETCH(bool, change);
    QFETCH(int, answer);
    QFETCH(QString, stored);
    open(QStringLiteral("S1\r\n"));
    if (change) {
        m_q.window->ComboBoxSQL->setEditText(QStringLiteral("S2"));
        QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
        m_q.dialogs->messageAnswers << answer;
    }
    QVERIFY(m_q.window->close());
    if (change) {
        QCOMPARE(m_q.dialogs->calls.size(), 1);
        const Dialogs::MessageBox box = m_q.dialogs->calls[0].message;
        QCOMPARE(box.text, QStringLiteral(" Enregistrer les modifications de la liste des requêtes ?"));
        QCOMPARE(box.caption, QStringLiteral("Confirmation"));
        QCOMPARE(box.icon, Dialogs::Icon::None);
        QCOMPARE(box.buttons.size(), 2);
        QCOMPARE(box.defaultButton, 0);
    } else {
        QVERIFY(m_q.dialogs->calls.isEmpty());
    }
    // Read back from the file itself.
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), stored);
}

void TestRememberedList::escapePutsStoredTextBack()
{
    open(QStringLiteral("S1\r\n"));
    TDBMemo* memo = m_q.window->DBMemoSQL;
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, QStringLiteral("S2"));
    QCOMPARE(memo->text(), QStringLiteral("S1\r\nS2"));
    QTest::keyClick(memo, Qt::Key_Escape);
    QCOMPARE(memo->text(), QStringLiteral("S1\r\n"));
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
}

void TestRememberedList::readOnlyAliasRefusesChanges()
{
    m_q.createDatabase(QStringLiteral("UPDATE ListBase SET TTTYPES = 'S1'"));
    m_q.db->setReadOnly(true);
    m_q.createWindow();
    QVERIFY(m_q.showActive());

    TDBMemo* memo = m_q.window->DBMemoSQL;
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("zz"));
    QCOMPARE(memo->text(), QStringLiteral("S1"));
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("S2"));
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QCOMPARE(m_q.dialogs->messageTexts(),
        QStringList { QStringLiteral("Ne peut modifier un ensemble de données en lecture seule.") });
    QCOMPARE(memo->text(), QStringLiteral("S1"));
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsBrowse);
    QVERIFY(m_q.window->close());
    QCOMPARE(m_q.dialogs->calls.size(), 1);
}

void TestRememberedList::failedPostKeepsWindowOpenAndEditing()
{
    open(QStringLiteral("S1\r\n"));
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("S2"));
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    // Another program removes the record: the update finds nothing to write.
    m_q.db->exec(QStringLiteral("DELETE FROM ListBase"));
    m_q.dialogs->messageAnswers << 0;
    QVERIFY(!m_q.window->close());
    QVERIFY(m_q.window->isVisible());
    QCOMPARE(m_q.dialogs->calls.size(), 2);
    QCOMPARE(m_q.dialogs->calls[1].message.caption, QStringLiteral("VeloSQL"));
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
    QCOMPARE(m_q.window->DBMemoSQL->text(), QStringLiteral("S1\r\nS2\r\n"));
    // Closing again asks again.
    m_q.dialogs->messageAnswers << 1;
    QVERIFY(m_q.window->close());
    QCOMPARE(m_q.dialogs->calls.size(), 3);
}

void TestRememberedList::closingAfterAnotherProgramWrote_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("separator");
    QTest::newRow("another program appended a statement")
        << "UPDATE ListBase SET TTTYPES = TTTYPES || 'S9' || char(13, 10)" << false << "S1\r\nS9\r\n"
        << ";";
    QTest::newRow("another program changed the separator")
        << "UPDATE ListBase SET POLICE5 = '#@'" << true << "S1\r\nS2\r\n"
        << "#@";
}

void TestRememberedList::closingAfterAnotherProgramWrote()
{
    QFETCH(QString, other);
    QFETCH(bool, saved);
    QFETCH(QString, list);
    QFETCH(QString, separator);
    open(QStringLiteral("S1\r\n"));
    m_q.window->ComboBoxSQL->setEditText(QStringLiteral("S2"));
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QCOMPARE(runInOtherProgram(m_q.db->path(), other), QString());
    m_q.dialogs->messageAnswers << 0;
    QCOMPARE(m_q.window->close(), saved);
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), list);
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT POLICE5 FROM ListBase")).toString(), separator);
    if (saved) {
        QCOMPARE(m_q.dialogs->calls.size(), 1);
        return;
    }
    // Refused: the window stays open and nothing typed is lost.
    QCOMPARE(m_q.dialogs->messageTexts().value(1), recordChangedMessage());
    QVERIFY(m_q.window->isVisible());
    QCOMPARE(m_q.window->TableSQL->state(), TDataSet::dsEdit);
    QCOMPARE(m_q.window->DBMemoSQL->text(), QStringLiteral("S1\r\nS2\r\n"));
    // Abandoning the changes shows the list as it is stored now.
    m_q.dialogs->messageAnswers << 1;
    QVERIFY(m_q.window->close());
    QCOMPARE(m_q.window->DBMemoSQL->text(), list);
    QCOMPARE(m_q.db->value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString(), list);
}

QTEST_MAIN(TestRememberedList)
#include "tst_rememberedlist.moc"
