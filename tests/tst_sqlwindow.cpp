#include "QueryWindow.h"
#include "app/ResultCopy.h"
#include "data/Query.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

// The query window driven through its controls: running statements, the counter,
// the drop-down list and errors.
class TestSqlWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup();

    void enterAndRunButtonDoTheSame_data();
    void enterAndRunButtonDoTheSame();
    void counterTexts_data();
    void counterTexts();
    void dropDownHoldsOneItemPerExactStatement();
    void addingToListKeepsTypedText();
    void emptyStatementOnlyMovesFocus();
    void rejectedStatementKeepsCounterAndEmptiesGrid();
    void runningAgainShowsCurrentData();
    void blankStatementGoesToEngine();
    void layoutOfControls();
    void tabLeavesTheMemos_data();
    void tabLeavesTheMemos();
    void copyResultToClipboard_data();
    void copyResultToClipboard();
    void copyAboveCeilingIsRefused();
    void headerHasItsOwnMenuAndSortsWithoutCapture();
    void findMovesToMatchingCell_data();
    void findMovesToMatchingCell();
    void findWithoutMatchSaysSo();
    void rejectedStatementSelectsItsPlace_data();
    void rejectedStatementSelectsItsPlace();

private:
    void type(const QString& statement);
    void run();

    QueryWindow m_q;
};

void TestSqlWindow::init()
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20), SOLDE MONEY);"
                                      "INSERT INTO PaBase VALUES ('Durand', 10.5), ('Martin', NULL)"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
}

void TestSqlWindow::cleanup()
{
    m_q.reset();
}

void TestSqlWindow::type(const QString& statement)
{
    m_q.window->ComboBoxSQL->setEditText(statement);
}

void TestSqlWindow::run()
{
    QTest::mouseClick(m_q.window->ToolButtonResult, Qt::LeftButton);
}

void TestSqlWindow::enterAndRunButtonDoTheSame_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("enter") << "enter";
    QTest::newRow("run button") << "button";
    QTest::newRow("F5") << "F5";
}

void TestSqlWindow::enterAndRunButtonDoTheSame()
{
    QFETCH(QString, how);
    // Keys go to the combo box, which has the focus, as the window system sends them.
    QComboBox* edit = m_q.window->ComboBoxSQL;
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("SELECT * FROM PaBase"));
    if (how == QLatin1String("enter"))
        QTest::keyClick(edit, Qt::Key_Return);
    else if (how == QLatin1String("F5"))
        QTest::keyClick(edit, Qt::Key_F5);
    else
        run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("2 enregistrements"));
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 2);
    QCOMPARE(m_q.window->DBGridSQL->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NOM"));
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
    QCOMPARE(m_q.window->ComboBoxSQL->currentText(), QStringLiteral("SELECT * FROM PaBase"));
    QVERIFY(m_q.window->ComboBoxSQL->hasFocus());
}

void TestSqlWindow::counterTexts_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("counter");
    QTest::newRow("none") << 0 << "Aucun résultat";
    QTest::newRow("one") << 1 << "1 enregistrement";
    QTest::newRow("two") << 2 << "2 enregistrements";
    QTest::newRow("thousand, no grouping") << 1000 << "1000 enregistrements";
}

void TestSqlWindow::counterTexts()
{
    QFETCH(int, rows);
    QFETCH(QString, counter);
    type(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                        "SELECT x FROM c WHERE %1 > 0")
             .arg(rows));
    run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), counter);
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), rows);
}

void TestSqlWindow::dropDownHoldsOneItemPerExactStatement()
{
    const QStringList statements = {
        QStringLiteral("SELECT * FROM PaBase"),
        QStringLiteral("SELECT * FROM PaBase"),
        QStringLiteral("select * from PaBase"),
        QStringLiteral("SELECT * FROM PaBase "),
        QStringLiteral("SELECT NOM FROM PaBase"),
    };
    for (const QString& s : statements) {
        type(s);
        run();
    }
    QStringList items;
    for (int i = 0; i < m_q.window->ComboBoxSQL->count(); ++i)
        items << m_q.window->ComboBoxSQL->itemText(i);
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.count(QStringLiteral("SELECT * FROM PaBase")), 1);
    QVERIFY(items.contains(QStringLiteral("select * from PaBase")));
    QVERIFY(items.contains(QStringLiteral("SELECT * FROM PaBase ")));
    // The list stays sorted.
    QStringList sorted = items;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QCOMPARE(items, sorted);
}

void TestSqlWindow::addingToListKeepsTypedText()
{
    type(QStringLiteral("SELECT NOM FROM PaBase"));
    run();
    type(QStringLiteral("SELECT * FROM PaBase"));
    run();
    QCOMPARE(m_q.window->ComboBoxSQL->currentText(), QStringLiteral("SELECT * FROM PaBase"));
}

void TestSqlWindow::emptyStatementOnlyMovesFocus()
{
    type(QStringLiteral("SELECT * FROM PaBase"));
    run();
    m_q.window->MemoSQL->setFocus();
    type(QString());
    run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("2 enregistrements"));
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 2);
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
    QVERIFY(m_q.window->ComboBoxSQL->hasFocus());
    QVERIFY(m_q.dialogs->calls.isEmpty());
}

void TestSqlWindow::rejectedStatementKeepsCounterAndEmptiesGrid()
{
    type(QStringLiteral("SELECT * FROM PaBase"));
    run();
    m_q.window->MemoSQL->setFocus();
    type(QStringLiteral("SELECT * FROM nowhere"));
    run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("2 enregistrements"));
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 0);
    QVERIFY(!m_q.window->QuerySQL->active());
    QCOMPARE(m_q.window->QuerySQL->sql(), QStringLiteral("SELECT * FROM nowhere"));
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
    QVERIFY(m_q.window->MemoSQL->hasFocus());
    QCOMPARE(m_q.dialogs->calls.size(), 1);
    const Dialogs::MessageBox box = m_q.dialogs->calls[0].message;
    QCOMPARE(box.caption, QStringLiteral("VeloSQL"));
    QCOMPARE(box.text, QStringLiteral("no such table: nowhere."));
    QCOMPARE(box.icon, Dialogs::Icon::Error);
    QCOMPARE(box.buttons, QStringList { QStringLiteral("OK") });
    // The next valid statement sets both again.
    type(QStringLiteral("SELECT NOM FROM PaBase WHERE NOM = 'Durand'"));
    run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1 enregistrement"));
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 1);
}

void TestSqlWindow::runningAgainShowsCurrentData()
{
    type(QStringLiteral("SELECT * FROM PaBase"));
    run();
    m_q.db->exec(QStringLiteral("INSERT INTO PaBase VALUES ('Petit', 1)"));
    run();
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("3 enregistrements"));
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
}

void TestSqlWindow::blankStatementGoesToEngine()
{
    type(QStringLiteral("   "));
    run();
    // The engine finds no statement in blanks, so no result set comes back.
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList { QStringLiteral("Erreur à la création du handle de curseur.") });
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 0);
}

void TestSqlWindow::layoutOfControls()
{
    QCOMPARE(m_q.window->windowTitle(), QStringLiteral("Requêtes SQL"));
    QCOMPARE(m_q.window->size(), QSize(792, 573));
    QCOMPARE(m_q.window->ComboBoxSQL->geometry(), QRect(0, 26, 791, 21));
    QCOMPARE(m_q.window->DBGridSQL->geometry(), QRect(0, 48, 791, 350));
    QCOMPARE(m_q.window->MemoSQL->geometry(), QRect(0, 400, 394, 173));
    QCOMPARE(m_q.window->DBMemoSQL->geometry(), QRect(397, 400, 394, 173));
    const QStringList order = { "ToolButtonQuitter", "ToolButtonResult", "ToolButtonAjout", "ToolButtonEnregistrer",
        "ToolButtonImprimer", "ToolButtonCapturerSQL", "ToolButtonVoirSQL" };
    for (int i = 0; i < order.size(); ++i) {
        auto* button = m_q.window->findChild<QToolButton*>(order[i]);
        QVERIFY2(button, qPrintable(order[i]));
        QCOMPARE(button->geometry(), QRect(i * 26, 0, 26, 22));
        QVERIFY(!button->toolTip().isEmpty());
    }
    QCOMPARE(m_q.window->ComboBoxSQL->maxVisibleItems(), 25);
    QCOMPARE(m_q.window->ComboBoxSQL->lineEdit()->placeholderText(), QStringLiteral("Requête SQL, puis Entrée"));
}

void TestSqlWindow::tabLeavesTheMemos_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("previous");
    QTest::newRow("cell memo") << "MemoSQL"
                               << "DBMemoSQL"
                               << "ComboBoxSQL";
    QTest::newRow("list memo") << "DBMemoSQL"
                               << "DBGridSQL"
                               << "MemoSQL";
}

void TestSqlWindow::tabLeavesTheMemos()
{
    QFETCH(QString, memo);
    QFETCH(QString, next);
    QFETCH(QString, previous);
    auto* edit = m_q.window->findChild<QPlainTextEdit*>(memo);
    QVERIFY(edit);
    const QString text = edit->toPlainText();
    for (const auto& [modifier, expected] : { std::pair { Qt::NoModifier, next }, { Qt::ShiftModifier, previous } }) {
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClick(edit, modifier == Qt::NoModifier ? Qt::Key_Tab : Qt::Key_Backtab, modifier);
        QVERIFY(QApplication::focusWidget());
        QWidget* focus = QApplication::focusWidget();
        // The statement box's line edit stands for the box.
        if (focus->parentWidget() == m_q.window->ComboBoxSQL)
            focus = m_q.window->ComboBoxSQL;
        QCOMPARE(focus->objectName(), expected);
        QCOMPARE(edit->toPlainText(), text);
    }
}

void TestSqlWindow::copyResultToClipboard_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("column"); // -1: Ctrl+Shift+C
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("htmlRow");
    QTest::newRow("whole result with headers, by keys")
        << "SELECT * FROM PaBase" << -1 << "NOM\tSOLDE\nDurand\t10,5\nMartin\t\n"
        << "<tr><td>Durand</td><td>10,5</td></tr>";
    QTest::newRow("one column from the header menu") << "SELECT * FROM PaBase" << 1 << "SOLDE\n10,5\n\n"
                                                     << "<tr><th>SOLDE</th></tr>";
    QTest::newRow("tabs, line breaks and quotes kept in one cell")
        << "SELECT 'a' || char(9) || 'b' AS x, 'l1' || char(13, 10) || 'l2' AS y, 'dit \"oui\"' AS z, 'un \"' AS w"
        << -1 << "x\ty\tz\tw\n\"a\tb\"\t\"l1\r\nl2\"\t\"dit \"\"oui\"\"\"\t\"un \"\"\"\n"
        << "<td>l1<br>l2</td><td>dit &quot;oui&quot;</td>";
    QTest::newRow("markup and controls escaped in the table")
        << "SELECT '<b>&amp;' || char(1) AS \"<i>\"" << -1 << "<i>\n<b>&amp;\u0001\n"
        << "<tr><th>&lt;i&gt;</th></tr>\n<tr><td>&lt;b&gt;&amp;amp;\uFFFD</td></tr>";
    QTest::newRow("blobs as the grid shows them")
        << "SELECT X'00FF' AS b, CAST(NULL AS BLOB) AS n" << -1 << "b\tn\n(BLOB)\t\n"
        << "<td>(BLOB)</td><td></td>";
}

void TestSqlWindow::copyResultToClipboard()
{
    QFETCH(QString, statement);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, htmlRow);
    m_q.run(statement);
    QGuiApplication::clipboard()->clear();
    if (column < 0)
        QTest::keyClick(m_q.window->DBGridSQL, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    else
        m_q.window->CopieResultat->copyColumn(column);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied);
    QCOMPARE(copied->text(), text);
    QVERIFY2(copied->html().contains(htmlRow), qPrintable(copied->html()));
    QVERIFY(m_q.dialogs->calls.isEmpty());
}

void TestSqlWindow::copyAboveCeilingIsRefused()
{
    m_q.run(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5000) "
                           "SELECT x, 'texte' FROM c"));
    QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
    m_q.window->CopieResultat->setCeiling(64 * 1024);
    QTest::keyClick(m_q.window->ComboBoxSQL, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_q.dialogs->messageTexts(),
        QStringList { QStringLiteral(
            "Résultat trop volumineux pour le presse-papiers : sa copie prendrait plus de 0 Mo de mémoire.") });
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("avant"));
}

void TestSqlWindow::headerHasItsOwnMenuAndSortsWithoutCapture()
{
    m_q.run(QStringLiteral("SELECT * FROM PaBase"));
    TDBGrid* grid = m_q.window->DBGridSQL;
    QHeaderView* header = grid->horizontalHeader();
    const QPoint onSolde(header->sectionViewportPosition(1) + 5, header->height() / 2);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, onSolde, header->mapToGlobal(onSolde));
    QApplication::sendEvent(header->viewport(), &menuEvent);
    QMenu* menu = m_q.window->CopieResultat->PopupEnTetes;
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(!m_q.window->PopupMenuSQL->isVisible());
    QStringList entries;
    for (const QAction* action : menu->actions())
        entries << action->text();
    QCOMPARE(entries,
        QStringList({ "Copier la colonne", "Copier le résultat avec les en-têtes", "", "Filtrer…",
            "Retirer les filtres", "", "Exporter vers un classeur…", "Exporter en CSV…", "Graphique…" }));
    menu->close();
    QCOMPARE(m_q.window->PopupMenuSQL->actions().size(), 3);
    // A click on a header sorts (Martin's null first) and captures nothing.
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onSolde);
    QCOMPARE(m_q.window->QuerySQL->sortField(), 1);
    QCOMPARE(grid->model()->index(0, 0).data().toString(), QStringLiteral("Martin"));
    QTRY_COMPARE(grid->currentIndex(), grid->model()->index(1, 0));
    QCOMPARE(m_q.window->memoText(), QString());
    QVERIFY(m_q.dialogs->calls.isEmpty());
}

void TestSqlWindow::findMovesToMatchingCell_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("keys"); // after Ctrl+F answered with text
    QTest::addColumn<QString>("cell"); // row,column of the current cell at the end
    QTest::newRow("next cell from the current one") << "mart" << false << ""
                                                    << "0,1";
    QTest::newRow("F3 goes on") << "mart" << false << "F3"
                                << "1,0";
    QTest::newRow("F3 wraps past the end") << "durand" << false << "F3"
                                           << "0,0";
    QTest::newRow("Shift+F3 goes back and wraps") << "durand" << false << "S S"
                                                  << "2,1";
    QTest::newRow("case respected, the current cell comes last") << "Durand" << true << "F3"
                                                                 << "0,0";
    QTest::newRow("number as shown") << "0,5" << false << ""
                                     << "1,1";
}

void TestSqlWindow::findMovesToMatchingCell()
{
    QFETCH(QString, text);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, keys);
    QFETCH(QString, cell);
    m_q.run(QStringLiteral("SELECT 'Durand' AS a, 'martin' AS b UNION ALL SELECT 'Martin', 0.5 "
                           "UNION ALL SELECT 'y', 'DURAND'"));
    TDBGrid* grid = m_q.window->DBGridSQL;
    QTRY_COMPARE(grid->currentIndex(), grid->model()->index(0, 0));
    m_q.dialogs->findAnswers << Dialogs::Find { text, caseSensitive };
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    for (const QString& key : keys.split(u' ', Qt::SkipEmptyParts))
        QTest::keyClick(grid, Qt::Key_F3, key == QLatin1String("S") ? Qt::ShiftModifier : Qt::NoModifier);
    const QModelIndex current = grid->currentIndex();
    QCOMPARE(QStringLiteral("%1,%2").arg(current.row()).arg(current.column()), cell);
    QCOMPARE(m_q.window->QuerySQL->recNo(), current.row());
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("find")).size(), 1);
    QCOMPARE(grid->selectionModel()->selectedIndexes(), QModelIndexList { current });
}

void TestSqlWindow::findWithoutMatchSaysSo()
{
    m_q.run(QStringLiteral("SELECT * FROM PaBase"));
    QTRY_COMPARE(m_q.window->DBGridSQL->currentIndex(), m_q.window->DBGridSQL->model()->index(0, 0));
    // F3 before any text asks for one; the dialog proposes the last text next time.
    m_q.dialogs->findAnswers << Dialogs::Find { QStringLiteral("zz"), false };
    QTest::keyClick(m_q.window->ComboBoxSQL, Qt::Key_F3);
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList { QStringLiteral("Texte introuvable : « zz »") });
    const auto box = m_q.dialogs->callsOf(QStringLiteral("message")).constLast().message;
    QCOMPARE(box.caption, QStringLiteral("Rechercher"));
    QCOMPARE(box.icon, Dialogs::Icon::Information);
    QCOMPARE(m_q.window->DBGridSQL->currentIndex(), m_q.window->DBGridSQL->model()->index(0, 0));
    QTest::keyClick(m_q.window->ComboBoxSQL, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("find")).constLast().find.text, QStringLiteral("zz"));
}

void TestSqlWindow::rejectedStatementSelectsItsPlace_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("selected"); // empty: the box selects nothing
    QTest::newRow("misspelt keyword, Enter") << "SELEC * FROM PaBase"
                                             << "enter"
                                             << "SELEC";
    QTest::newRow("unknown column, run button") << "SELECT NOM, AGE FROM PaBase"
                                                << "button"
                                                << "AGE";
    QTest::newRow("quoted text, F5") << "SELECT NOM FROM PaBase WHERE NOM = 'Durand' 'x'"
                                     << "F5"
                                     << "'x'";
    QTest::newRow("a failure that points nowhere") << "SELECT abs(-9223372036854775807 - 1) FROM PaBase"
                                                   << "enter"
                                                   << "";
}

// The error box first, then the statement box selects the place the engine points at.
void TestSqlWindow::rejectedStatementSelectsItsPlace()
{
    QFETCH(QString, statement);
    QFETCH(QString, how);
    QFETCH(QString, selected);
    QComboBox* box = m_q.window->ComboBoxSQL;
    box->setFocus();
    type(statement);
    box->lineEdit()->setCursorPosition(0);
    bool selectedAfterBox = false;
    const QObject watch;
    QObject::connect(box->lineEdit(), &QLineEdit::selectionChanged, &watch,
        [&] { selectedAfterBox = !m_q.dialogs->calls.isEmpty(); });
    if (how == QLatin1String("enter"))
        QTest::keyClick(box, Qt::Key_Return);
    else if (how == QLatin1String("F5"))
        QTest::keyClick(box, Qt::Key_F5);
    else
        run();
    QCOMPARE(m_q.dialogs->calls.size(), 1);
    QCOMPARE(box->currentText(), statement);
    QCOMPARE(box->lineEdit()->selectedText(), selected);
    QCOMPARE(selectedAfterBox, !selected.isEmpty());
}

QTEST_MAIN(TestSqlWindow)
#include "tst_sqlwindow.moc"
