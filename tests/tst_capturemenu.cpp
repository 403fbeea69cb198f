#include "QueryWindow.h"
#include "data/Query.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

// The capture menu as a keyboard or screen reader user meets it, and the names a
// screen reader gives the controls of the query window and of the capture editor.
class TestCaptureMenu : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup();

    void rightClickKeepsCurrentCell_data();
    void rightClickKeepsCurrentCell();
    void keyboardOpensMenuAtCurrentCell_data();
    void keyboardOpensMenuAtCurrentCell();
    void menuExposesCheckableModes();
    void controlsHaveAccessibleNames_data();
    void controlsHaveAccessibleNames();
    void counterIsReadWithItsCount();

private:
    QModelIndex cell(int row, int column) const;
    void leftClick(const QModelIndex& index) const;

    QueryWindow m_q;
};

void TestCaptureMenu::init()
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20), VILLE VARCHAR(20));"
                                      "INSERT INTO PaBase VALUES ('Durand', 'Lyon'), ('Martin', 'Metz'),"
                                      " ('Petit', 'Nice')"));
    m_q.createCaptureEditor();
    m_q.createWindow();
    QVERIFY(m_q.showActive());
    m_q.run(QStringLiteral("SELECT * FROM PaBase"));
}

void TestCaptureMenu::cleanup()
{
    if (m_q.window)
        m_q.window->PopupMenuSQL->hide();
    m_q.reset();
}

QModelIndex TestCaptureMenu::cell(int row, int column) const
{
    return m_q.window->DBGridSQL->model()->index(row, column);
}

void TestCaptureMenu::leftClick(const QModelIndex& index) const
{
    TDBGrid* grid = m_q.window->DBGridSQL;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

void TestCaptureMenu::rightClickKeepsCurrentCell_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("another row and column") << 2 << 1;
    QTest::newRow("same row, another column") << 0 << 1;
    QTest::newRow("another row, same column") << 1 << 0;
}

void TestCaptureMenu::rightClickKeepsCurrentCell()
{
    QFETCH(int, row);
    QFETCH(int, column);
    TDBGrid* grid = m_q.window->DBGridSQL;
    leftClick(cell(0, 0));
    const QString memo = m_q.window->memoText();
    QCOMPARE(memo, QStringLiteral("Durand"));

    // A right click as the window system sends it: press, the menu's event, release.
    const QPoint at = grid->visualRect(cell(row, column)).center();
    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(grid->viewport(), &menu);
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, at);

    QVERIFY(m_q.window->PopupMenuSQL->isVisible());
    QCOMPARE(grid->currentIndex(), cell(0, 0));
    QCOMPARE(m_q.window->QuerySQL->recNo(), 0);
    QCOMPARE(m_q.window->memoText(), memo);
}

void TestCaptureMenu::keyboardOpensMenuAtCurrentCell_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << true;
    QTest::newRow("F10 alone") << int(Qt::Key_F10) << int(Qt::NoModifier) << false;
    QTest::newRow("Ctrl+F10") << int(Qt::Key_F10) << int(Qt::ControlModifier) << false;
}

void TestCaptureMenu::keyboardOpensMenuAtCurrentCell()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);
    TDBGrid* grid = m_q.window->DBGridSQL;
    m_q.window->PopupLigne->trigger();
    leftClick(cell(1, 1));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QMenu* menu = m_q.window->PopupMenuSQL;
    QCOMPARE(menu->isVisible(), opens);
    if (!opens)
        return;
    // At the current cell, on the mode in force; the cell stays current.
    QVERIFY(menu->geometry().contains(grid->viewport()->mapToGlobal(grid->visualRect(cell(1, 1)).center())));
    QCOMPARE(menu->activeAction(), m_q.window->PopupLigne);
    QCOMPARE(grid->currentIndex(), cell(1, 1));
}

void TestCaptureMenu::menuExposesCheckableModes()
{
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(m_q.window->PopupMenuSQL);
    QVERIFY(menu);
    QCOMPARE(menu->text(QAccessible::Name), QStringLiteral("Mode de capture"));
    QCOMPARE(menu->childCount(), 3);
    const QStringList captions { "Remplacer par cellule", "Ajouter cellule", "Ajouter ligne" };
    auto checkedModes = [&] {
        QList<bool> checked;
        for (int i = 0; i < menu->childCount(); ++i) {
            QAccessibleInterface* item = menu->child(i);
            if (item->role() != QAccessible::MenuItem || !item->state().checkable
                || item->text(QAccessible::Name) != captions[i])
                return QList<bool> {};
            checked << bool(item->state().checked);
        }
        return checked;
    };
    QCOMPARE(checkedModes(), QList<bool>({ true, false, false }));
    m_q.window->PopupAjout->trigger();
    QCOMPARE(checkedModes(), QList<bool>({ false, true, false }));
}

void TestCaptureMenu::controlsHaveAccessibleNames_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const QString sql = QStringLiteral("FicheSQL");
    const QString clip = QStringLiteral("FicheClip");
    QTest::newRow("quit") << sql << "ToolButtonQuitter"
                          << "Fermer la fenêtre";
    QTest::newRow("run") << sql << "ToolButtonResult"
                         << "Valider la requête";
    QTest::newRow("add") << sql << "ToolButtonAjout"
                         << "Ajouter la requête en cours à la liste pour la mémoriser";
    QTest::newRow("save data") << sql << "ToolButtonEnregistrer"
                               << "Sauvegarder les données de la requête";
    QTest::newRow("print data") << sql << "ToolButtonImprimer"
                                << "Imprimer les données de la requête";
    QTest::newRow("capture") << sql << "ToolButtonCapturerSQL"
                             << "Capturer la sélection";
    QTest::newRow("view capture") << sql << "ToolButtonVoirSQL"
                                  << "Voir la capture";
    QTest::newRow("statement box") << sql << "ComboBoxSQL"
                                   << "Requête SQL";
    QTest::newRow("grid") << sql << "DBGridSQL"
                          << "Résultat de la requête";
    QTest::newRow("cell memo") << sql << "MemoSQL"
                               << "Texte de la cellule sélectionnée";
    QTest::newRow("list memo") << sql << "DBMemoSQL"
                               << "Liste des requêtes enregistrées";
    QTest::newRow("counter") << sql << "LabelCompteurSQL"
                             << "Nombre d'enregistrements";
    QTest::newRow("editor close") << clip << "ToolButtonQuitter"
                                  << "Fermer la fenêtre";
    QTest::newRow("editor erase") << clip << "ToolButtonEffacer"
                                  << "Effacer le texte";
    QTest::newRow("editor save") << clip << "ToolButtonSauver"
                                 << "Sauvegarder le texte";
    QTest::newRow("editor print") << clip << "ToolButtonImprimer"
                                  << "Imprimer le texte";
    QTest::newRow("editor mail") << clip << "ToolButtonMail"
                                 << "Envoyer par E-Mail";
}

void TestCaptureMenu::controlsHaveAccessibleNames()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);
    QWidget* top = window == QLatin1String("FicheSQL") ? static_cast<QWidget*>(m_q.window.get()) : m_q.clip.get();
    QWidget* widget = top->findChild<QWidget*>(control);
    QVERIFY(widget);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    if (iface->role() == QAccessible::ComboBox) {
        // An editable combo box is named by its text on some systems: the screen
        // reader reads the name of its edit field.
        QAccessibleInterface* edit = nullptr;
        for (int i = 0; i < iface->childCount() && !edit; ++i)
            if (iface->child(i)->role() == QAccessible::EditableText)
                edit = iface->child(i);
        QVERIFY(edit);
        iface = edit;
    }
    QCOMPARE(iface->text(QAccessible::Name), name);
}

void TestCaptureMenu::counterIsReadWithItsCount()
{
    QAccessibleInterface* counter = QAccessible::queryAccessibleInterface(m_q.window->LabelCompteurSQL);
    QVERIFY(counter);
    QCOMPARE(counter->text(QAccessible::Description), QStringLiteral("3 enregistrements"));
    m_q.run(QStringLiteral("SELECT * FROM PaBase WHERE NOM = 'Petit'"));
    QCOMPARE(counter->text(QAccessible::Name), QStringLiteral("Nombre d'enregistrements"));
    QCOMPARE(counter->text(QAccessible::Description), QStringLiteral("1 enregistrement"));
}

QTEST_MAIN(TestCaptureMenu)
#include "tst_capturemenu.moc"
