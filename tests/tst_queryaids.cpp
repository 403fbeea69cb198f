#include "QueryWindow.h"
#include "data/Query.h"
#include "ui/ErrorGuard.h"
#include "ui/sql/HistoryDialog.h"
#include "ui/sql/QueryEditor.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

// What the query window offers beside its buttons: the statement's colours, the
// query editor, completion, this run's history, F6 and the zoom.
class TestQueryAids : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup() { m_q.reset(); }

    void statementBoxColours_data();
    void statementBoxColours();
    void queryEditorWritesBackOneLine_data();
    void queryEditorWritesBackOneLine();
    void completionOffersNamesAndKeywords_data();
    void completionOffersNamesAndKeywords();
    void historyListsThisRunNewestFirst();
    void shiftF5RunsWithTheValuesAsked();
    void f6MovesBetweenControls_data();
    void f6MovesBetweenControls();
    void zoomKeepsWindowSize_data();
    void zoomKeepsWindowSize();

private:
    QComboBox* box() const { return m_q.window->ComboBoxSQL; }
    void typeInBox(const QString& text);

    QueryWindow m_q;
};

void TestQueryAids::init()
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20), SOLDE MONEY);"
                                      "INSERT INTO PaBase VALUES ('Durand', 10.5), ('Martin', NULL)"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
}

void TestQueryAids::typeInBox(const QString& text)
{
    box()->setFocus();
    box()->setEditText(QString());
    QTest::keyClicks(box(), text);
}

void TestQueryAids::statementBoxColours_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour"); // invalid: drawn in the box's own text colour
    QTest::newRow("keyword") << "SELECT" << QColor(0, 0, 160);
    QTest::newRow("quoted text") << "'Durand'" << QColor(160, 0, 0);
    QTest::newRow("number") << "12.5" << QColor(128, 0, 128);
    QTest::newRow("comment") << "-- solde" << QColor(110, 110, 110);
    QTest::newRow("parameter") << ":nom" << QColor(0, 120, 0);
    QTest::newRow("a table's name") << "PaBase" << QColor();
    QTest::newRow("a doubled colon is no parameter") << "a::nom" << QColor();
}

// The colours are drawn in the box itself; typing, the cursor and undo work as before.
void TestQueryAids::statementBoxColours()
{
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QLineEdit* edit = box()->lineEdit();
    // Glyphs drawn without smoothing show their colour exactly.
    QFont font = edit->font();
    font.setStyleStrategy(QFont::NoAntialias);
    edit->setFont(font);
    typeInBox(text);
    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->cursorPosition(), text.size());
    const QImage shot = edit->grab().toImage();
    const QList<QColor> colours
        = { QColor(0, 0, 160), QColor(160, 0, 0), QColor(128, 0, 128), QColor(110, 110, 110), QColor(0, 120, 0) };
    QList<QColor> seen;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (colours.contains(c) && !seen.contains(c))
                seen << c;
        }
    }
    QCOMPARE(seen, colour.isValid() ? QList<QColor> { colour } : QList<QColor>());
    edit->undo();
    QVERIFY(edit->text().size() < text.size());
}

void TestQueryAids::queryEditorWritesBackOneLine_data()
{
    QTest::addColumn<QString>("how"); // what the user does in the editor
    QTest::addColumn<QString>("inBox");
    QTest::newRow("OK writes back") << "OK"
                                    << "SELECT * FROM PaBase WHERE NOM = 'x'";
    QTest::newRow("Enter writes back, no line break") << "Enter"
                                                      << "SELECT * FROM PaBase WHERE NOM = 'x'";
    QTest::newRow("a pasted line break becomes a blank") << "paste"
                                                         << "SELECT * FROM PaBase WHERE NOM = 'x' AND\r\n1 = 1";
    QTest::newRow("Annuler leaves the box") << "Annuler"
                                            << "SELECT * FROM PaBase";
}

void TestQueryAids::queryEditorWritesBackOneLine()
{
    QFETCH(QString, how);
    QFETCH(QString, inBox);
    typeInBox(QStringLiteral("SELECT * FROM PaBase"));
    QTest::keyClick(box(), Qt::Key_E, Qt::ControlModifier);
    auto* editor = m_q.window->findChild<QueryEditor*>();
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(editor->windowTitle(), QStringLiteral("Éditeur de requête"));
    QCOMPARE(editor->statement(), QStringLiteral("SELECT * FROM PaBase"));
    StatementTextEdit* text = editor->editor();
    QCOMPARE(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QTest::keyClicks(text, QStringLiteral(" WHERE NOM = 'x'"));
    const auto button = [editor](const QString& caption) {
        for (QPushButton* b : editor->findChildren<QPushButton*>())
            if (b->text() == caption)
                return b;
        return static_cast<QPushButton*>(nullptr);
    };
    if (how == QLatin1String("paste")) {
        QApplication::clipboard()->setText(QStringLiteral(" AND\r\n1 = 1"));
        text->paste();
        QCOMPARE(text->document()->blockCount(), 1);
        QTest::keyClick(text, Qt::Key_Return);
        inBox.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    } else if (how == QLatin1String("Enter")) {
        QTest::keyClick(text, Qt::Key_Return);
    } else {
        QVERIFY(button(how));
        QTest::mouseClick(button(how), Qt::LeftButton);
    }
    QTRY_VERIFY(!m_q.window->findChild<QueryEditor*>());
    QCOMPARE(box()->currentText(), inBox);
    // Nothing ran.
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QString());
}

void TestQueryAids::completionOffersNamesAndKeywords_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("completed"); // the box after Ctrl+Space
    QTest::addColumn<QStringList>("offered"); // the pop-up's choices when there are several
    QTest::newRow("a table") << "SELECT * FROM pab"
                             << "SELECT * FROM PaBase" << QStringList();
    QTest::newRow("a column") << "SELECT SOL"
                              << "SELECT SOLDE" << QStringList();
    QTest::newRow("a keyword") << "SELECT * FROM PaBase wher"
                               << "SELECT * FROM PaBase WHERE" << QStringList();
    QTest::newRow("a table made by a statement") << "SELECT * FROM Zo"
                                                 << "SELECT * FROM Zorro" << QStringList();
    QTest::newRow("several") << "SELECT * FROM PaBase WHERE N"
                             << "SELECT * FROM PaBase WHERE N" << QStringList { "NATURAL", "NOM", "NOT", "Nuit", "NULL" };
    QTest::newRow("nothing matches") << "SELECT qqq"
                                     << "SELECT qqq" << QStringList();
    // Names that are no plain word go in quoted, so the statement runs as it reads.
    QTest::newRow("a name with a quote and a semicolon") << "SELECT * FROM od"
                                                         << "SELECT * FROM \"Od\"\"d;x\"" << QStringList();
    QTest::newRow("a column named like a keyword") << "SELECT t.sel" << "SELECT t.\"select\"" << QStringList();
    // A statement is one line: such a name cannot be written in it.
    QTest::newRow("a column with a line break") << "SELECT lig" << "SELECT lig" << QStringList();
    QTest::newRow("tables first after FROM")
        << "SELECT * FROM N" << "SELECT * FROM N" << QStringList { "Nuit", "NATURAL", "NOM", "NOT", "NULL" };
    QTest::newRow("tables among the rest elsewhere")
        << "SELECT N" << "SELECT N" << QStringList { "NATURAL", "NOM", "NOT", "Nuit", "NULL" };
    QTest::newRow("a table's columns after its name") << "SELECT PaBase.N" << "SELECT PaBase.NOM" << QStringList();
    QTest::newRow("a quoted table's columns") << "SELECT \"Od\"\"d;x\".a"
                                              << "SELECT \"Od\"\"d;x\".\"a b\"" << QStringList();
}

void TestQueryAids::completionOffersNamesAndKeywords()
{
    QFETCH(QString, typed);
    QFETCH(QString, completed);
    QFETCH(QStringList, offered);
    // The names are read before the table exists, then again once a statement ran.
    typeInBox(QStringLiteral("S"));
    QTest::keyClick(box(), Qt::Key_Space, Qt::ControlModifier);
    QVERIFY(QApplication::activePopupWidget());
    QApplication::activePopupWidget()->close();
    m_q.run(QStringLiteral("CREATE TABLE Zorro (x); CREATE TABLE \"Od\"\"d;x\" (\"a b\", \"li\ngne\");"
                           "CREATE TABLE Nuit (t); CREATE TABLE t (\"select\"); SELECT 1"));
    typeInBox(typed);
    QTest::keyClick(box(), Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(box()->currentText(), completed);
    auto* popup = QApplication::activePopupWidget();
    QCOMPARE(popup != nullptr, !offered.isEmpty());
    if (!popup)
        return;
    auto* view = qobject_cast<QAbstractItemView*>(popup);
    QVERIFY(view);
    QStringList shown;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        shown << view->model()->index(r, 0).data().toString();
    QCOMPARE(shown, offered);
    // Choosing one replaces the word.
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(box()->currentText(), typed.chopped(1) + offered.at(1));
}

void TestQueryAids::historyListsThisRunNewestFirst()
{
    m_q.run(QStringLiteral("SELECT * FROM PaBase"));
    guarded([this] { m_q.run(QStringLiteral("SELECT * FROM nowhere")); });
    m_q.run(QStringLiteral("SELECT NOM FROM PaBase WHERE NOM = 'Durand'"));
    typeInBox(QStringLiteral("something typed"));
    QTest::keyClick(box(), Qt::Key_H, Qt::ControlModifier);
    auto* dialog = m_q.window->findChild<HistoryDialog*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Historique"));
    QTreeWidget* list = dialog->list();
    QCOMPARE(list->topLevelItemCount(), 3);
    QStringList lines;
    for (int i = 0; i < 3; ++i)
        lines << list->topLevelItem(i)->text(1) + QLatin1String(" | ") + list->topLevelItem(i)->text(2);
    QCOMPARE(lines,
        QStringList({ QStringLiteral("SELECT NOM FROM PaBase WHERE NOM = 'Durand' | 1 enregistrement"),
            QStringLiteral("SELECT * FROM nowhere | no such table: nowhere"),
            QStringLiteral("SELECT * FROM PaBase | 2 enregistrements") }));
    QVERIFY(list->topLevelItem(0)->text(3).endsWith(QLatin1String(" s")));
    QVERIFY(!list->topLevelItem(0)->text(0).isEmpty());
    // Enter puts the chosen one in the box and runs nothing.
    list->setCurrentItem(list->topLevelItem(2));
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY(!m_q.window->findChild<HistoryDialog*>());
    QCOMPARE(box()->currentText(), QStringLiteral("SELECT * FROM PaBase"));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1 enregistrement"));
}

// Shift+F5 asks each parameter once, in order, proposing the value given last; the
// values are bound and the history shows them. Escape runs nothing; F5 runs the
// statement as it stands.
void TestQueryAids::shiftF5RunsWithTheValuesAsked()
{
    ScriptedDialogs& dialogs = *m_q.dialogs;
    const auto value
        = [](const char* text, bool null = false) { return ParameterValue { QString::fromUtf8(text), null }; };
    const QString statement = QStringLiteral("SELECT NOM FROM PaBase WHERE NOM = :nom OR SOLDE = :solde OR NOM = :nom");
    typeInBox(statement);
    dialogs.parametersAnswers << NamedValues { { QStringLiteral("nom"), value("Durand") },
        { QStringLiteral("solde"), value("", true) } };
    QTest::keyClick(box(), Qt::Key_F5, Qt::ShiftModifier);
    QCOMPARE(dialogs.callsOf(QStringLiteral("parameters")).size(), 1);
    QCOMPARE(dialogs.callsOf(QStringLiteral("parameters"))[0].parameters,
        (NamedValues { { QStringLiteral("nom"), {} }, { QStringLiteral("solde"), {} } }));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1 enregistrement"));

    typeInBox(QStringLiteral("SELECT NOM FROM PaBase WHERE NOM <> :nom"));
    QTest::keyClick(box(), Qt::Key_F5, Qt::ShiftModifier); // no answer: Escape
    QCOMPARE(dialogs.callsOf(QStringLiteral("parameters")).size(), 2);
    QCOMPARE(dialogs.callsOf(QStringLiteral("parameters"))[1].parameters,
        (NamedValues { { QStringLiteral("nom"), value("Durand") } }));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1 enregistrement"));
    QTest::keyClick(box(), Qt::Key_F5);
    QCOMPARE(dialogs.messageTexts().value(0), QStringLiteral("Pas de valeur pour le paramètre 'nom'"));

    QTest::keyClick(box(), Qt::Key_H, Qt::ControlModifier);
    auto* history = m_q.window->findChild<HistoryDialog*>();
    QVERIFY(history);
    QCOMPARE(history->list()->topLevelItemCount(), 2);
    QCOMPARE(history->list()->topLevelItem(1)->text(1),
        statement + QStringLiteral("  (nom = « Durand », solde = NULL)"));
    QCOMPARE(history->list()->topLevelItem(0)->text(1), QStringLiteral("SELECT NOM FROM PaBase WHERE NOM <> :nom"));
}

void TestQueryAids::f6MovesBetweenControls_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("previous");
    QTest::newRow("statement box") << "ComboBoxSQL"
                                   << "DBGridSQL"
                                   << "DBMemoSQL";
    QTest::newRow("grid") << "DBGridSQL"
                          << "MemoSQL"
                          << "ComboBoxSQL";
    QTest::newRow("cell memo") << "MemoSQL"
                               << "DBMemoSQL"
                               << "DBGridSQL";
    QTest::newRow("list memo") << "DBMemoSQL"
                               << "ComboBoxSQL"
                               << "MemoSQL";
}

void TestQueryAids::f6MovesBetweenControls()
{
    QFETCH(QString, from);
    QFETCH(QString, next);
    QFETCH(QString, previous);
    auto* start = m_q.window->findChild<QWidget*>(from);
    QVERIFY(start);
    for (const auto& [modifier, expected] : { std::pair { Qt::NoModifier, next }, { Qt::ShiftModifier, previous } }) {
        start->setFocus();
        QTRY_VERIFY(start->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, modifier);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (focus->parentWidget() == box())
            focus = box();
        QCOMPARE(focus->objectName(), expected);
    }
}

void TestQueryAids::zoomKeepsWindowSize_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sign"); // of the change in size
    QTest::newRow("Ctrl++") << "plus" << 1;
    QTest::newRow("Ctrl+-") << "minus" << -1;
    QTest::newRow("Ctrl and the wheel forward") << "wheel" << 1;
    QTest::newRow("Ctrl+0 after zooming in") << "reset" << 0;
}

void TestQueryAids::zoomKeepsWindowSize()
{
    QFETCH(QString, how);
    QFETCH(int, sign);
    m_q.run(QStringLiteral("SELECT * FROM PaBase"));
    TDBGrid* grid = m_q.window->DBGridSQL;
    const qreal gridPoints = grid->font().pointSizeF();
    const qreal memoPoints = m_q.window->MemoSQL->font().pointSizeF();
    const int rowHeight = grid->rowHeight(0);
    const int columnWidth = grid->columnWidth(0);
    grid->setFocus();
    if (how == QLatin1String("plus")) {
        QTest::keyClick(grid, Qt::Key_Plus, Qt::ControlModifier);
    } else if (how == QLatin1String("minus")) {
        QTest::keyClick(grid, Qt::Key_Minus, Qt::ControlModifier);
    } else if (how == QLatin1String("wheel")) {
        const QPoint at = grid->viewport()->rect().center();
        QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
            Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
    } else {
        QTest::keyClick(grid, Qt::Key_Plus, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_0, Qt::ControlModifier);
    }
    const auto signOf = [](qreal change) { return change > 0 ? 1 : change < 0 ? -1 : 0; };
    QCOMPARE(signOf(grid->font().pointSizeF() - gridPoints), sign);
    QCOMPARE(signOf(m_q.window->MemoSQL->font().pointSizeF() - memoPoints), sign);
    QCOMPARE(signOf(grid->rowHeight(0) - rowHeight), sign);
    QCOMPARE(signOf(grid->columnWidth(0) - columnWidth), sign);
    QCOMPARE(m_q.window->size(), QSize(792, 573));
    QCOMPARE(grid->geometry(), QRect(0, 48, 791, 350));
    // A statement run after keeps the zoom.
    m_q.run(QStringLiteral("SELECT NOM FROM PaBase"));
    QCOMPARE(signOf(grid->rowHeight(0) - rowHeight), sign);
}

QTEST_MAIN(TestQueryAids)
#include "tst_queryaids.moc"
