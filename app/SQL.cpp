#include "app/SQL.h"

#include "app/Controls.h"
#include "app/ImageList.h"
#include "app/QueryAids.h"
#include "app/RememberedList.h"
#include "app/ResultCopy.h"
#include "app/ResultChart.h"
#include "app/ResultExport.h"
#include "app/ResultFilter.h"
#include "app/ResultFind.h"
#include "app/UserTransaction.h"
#include "app/WorkProgress.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "data/Table.h"
#include "export/FileExports.h"
#include "engine/Connection.h"
#include "engine/Databases.h"
#include "engine/ResultStore.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"
#include "export/kds2prn.h"
#include "platform/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/AccessibleLabel.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"
#include "ui/widgets/ThemeColours.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScopeGuard>
#include <QToolButton>
#include <limits>

TFicheSQL* FicheSQL = nullptr;

namespace
{

constexpr QSize kClientSize(792, 573);
const QString kAlias = QStringLiteral("Velorin");

// "12 lignes lues": the rows in plain digits, as the record counter shows them.
QString rowsRead(qint64 rows, qint64)
{
    return rowsReadText(rows);
}

// The keys that open a context menu, and the context menu event the window system
// makes of the Menu key: on the grid, they open the capture menu.
bool isCaptureMenuRequest(const QEvent* e)
{
    if (e->type() == QEvent::ContextMenu)
        return static_cast<const QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard;
    if (e->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(e);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
        || (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}
} // namespace

TFicheSQL::TFicheSQL(QWidget* parent)
    : QWidget(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FicheSQL"));
    setWindowTitle(QStringLiteral("Requêtes SQL"));
    setWindowIcon(ImageList::windowIcon(ImageList::QueryWindow));
    setFont(Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Points { 8 }));
    setFixedSize(kClientSize);

    QuerySQL = new TQuery(this, QStringLiteral("QuerySQL"));
    QuerySQL->setDatabaseName(kAlias);
    QuerySQL->setSQL(QStringLiteral("SELECT * FROM PaBase"));
    DataSourceQuerySQL = new TDataSource(this, QStringLiteral("DataSourceQuerySQL"));
    DataSourceQuerySQL->setDataSet(QuerySQL);
    TableSQL = new TTable(this, QStringLiteral("TableSQL"));
    TableSQL->setDatabaseName(kAlias);
    TableSQL->setTableName(QStringLiteral("ListBase.DB"));
    DataSourceTableSQL = new TDataSource(this, QStringLiteral("DataSourceTableSQL"));
    DataSourceTableSQL->setDataSet(TableSQL);

    KDatasetToTextSQL = new TKDatasetToText(this, QStringLiteral("KDatasetToTextSQL"));
    KDatasetToTextSQL->setDataset(QuerySQL);
    KDatasetToTextSQL->setDelimiter('\t');
    KDataSetToHTMLSQL = new TKDataSetToHTML(this, QStringLiteral("KDataSetToHTMLSQL"));
    KDataSetToHTMLSQL->setDataSet(QuerySQL);
    SaveDialogSQL.title = QStringLiteral("Enregistrer les données de la requête");
    SaveDialogSQL.filters
        = { HtmlFileExport(*KDataSetToHTMLSQL).filterEntry(), TextFileExport(*KDatasetToTextSQL).filterEntry() };
    SaveDialogSQL.defaultSuffix = QStringLiteral("htm");
    SaveDialogSQL.filterIndex = 1;
    SaveDialogSQL.directory = QDir::homePath();
    KDatasetToPrinterSQL = new TKDatasetToPrinter(this, QStringLiteral("KDatasetToPrinterSQL"));
    KDatasetToPrinterSQL->setDataSet(QuerySQL);
    PrintDialogSQL = std::make_unique<QPrinter>(QPrinter::HighResolution);

    createControls();

    TableSQL->open();
}

TFicheSQL::~TFicheSQL() = default;

void TFicheSQL::createControls()
{
    createToolBar();
    createStatementBox();
    createGridAndCaptureMenu();
    createMemos();
    connectHandlers();
    nameControlsForScreenReaders();
    m_aids = new QueryAids({ this, ComboBoxSQL, { DBGridSQL, MemoSQL, DBMemoSQL }, QuerySQL,
                               [this](const NamedValues& values) { runStatement(values); } },
        this);

    // Tab order: grid, tool bar, statement box, cell memo, list memo.
    setTabOrder(DBGridSQL, ComboBoxSQL);
    setTabOrder(ComboBoxSQL, MemoSQL);
    setTabOrder(MemoSQL, DBMemoSQL);
    setFocusProxy(nullptr);
    ComboBoxSQL->setFocus();
}

void TFicheSQL::createToolBar()
{
    BevelHautSQL = Controls::bevel(this, QStringLiteral("BevelHautSQL"), QRect(0, 0, 792, 2));

    ToolBarSQL = new QWidget(this);
    ToolBarSQL->setObjectName(QStringLiteral("ToolBarSQL"));
    ToolBarSQL->setGeometry(0, 2, 200, 22);
    auto add = [this](const QString& name, int imageIndex, const QString& hint) {
        return Controls::addToolButton(ToolBarSQL, name, ImageList::QueryWindow, imageIndex, hint);
    };
    ToolButtonQuitter = add(QStringLiteral("ToolButtonQuitter"), 0, QStringLiteral("Fermer la fenêtre"));
    ToolButtonResult = add(QStringLiteral("ToolButtonResult"), 1, QStringLiteral("Valider la requête"));
    ToolButtonAjout = add(QStringLiteral("ToolButtonAjout"), 2,
        QStringLiteral("Ajouter la requête en cours à la liste pour la mémoriser"));
    ToolButtonEnregistrer
        = add(QStringLiteral("ToolButtonEnregistrer"), 4, QStringLiteral("Sauvegarder les données de la requête"));
    ToolButtonImprimer
        = add(QStringLiteral("ToolButtonImprimer"), 5, QStringLiteral("Imprimer les données de la requête"));
    ToolButtonCapturerSQL = add(QStringLiteral("ToolButtonCapturerSQL"), 6, QStringLiteral("Capturer la sélection"));
    ToolButtonVoirSQL = add(QStringLiteral("ToolButtonVoirSQL"), 7, QStringLiteral("Voir la capture"));

    LabelCompteurSQL = new QLabel(this);
    LabelCompteurSQL->setObjectName(QStringLiteral("LabelCompteurSQL"));
    QFont counterFont = Controls::font(QStringLiteral("Arial"), QFont::SansSerif, Controls::Points { 8 });
    counterFont.setBold(true);
    counterFont.setItalic(true);
    LabelCompteurSQL->setFont(counterFont);
    // Maroon on a light window, a lighter red on a dark one.
    ThemeColours::setTextInk(LabelCompteurSQL, ThemeColours::Ink::Counter);
    LabelCompteurSQL->move(345, 6);
    LabelCompteurSQL->adjustSize();

    LabelTransactionSQL = new QLabel(QStringLiteral("Transaction ouverte : COMMIT pour enregistrer"), this);
    LabelTransactionSQL->setObjectName(QStringLiteral("LabelTransactionSQL"));
    QFont transactionFont = Controls::font(QStringLiteral("Arial"), QFont::SansSerif, Controls::Points { 8 });
    transactionFont.setBold(true);
    LabelTransactionSQL->setFont(transactionFont);
    ThemeColours::setTextInk(LabelTransactionSQL, ThemeColours::Ink::Counter);
    LabelTransactionSQL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelTransactionSQL->setGeometry(500, 4, 288, 18);
    m_transaction = new UserTransaction(
        this, LabelTransactionSQL, [this] { return Databases::opened(QuerySQL->databaseName()); });

    BevelBasSQL = Controls::bevel(this, QStringLiteral("BevelBasSQL"), QRect(0, 24, 792, 2));
}

void TFicheSQL::createStatementBox()
{
    ComboBoxSQL = new QComboBox(this);
    ComboBoxSQL->setObjectName(QStringLiteral("ComboBoxSQL"));
    ComboBoxSQL->setEditable(true);
    // A line edit keeps 32,767 characters by default and cuts the rest silently: a
    // longer statement, typed or chosen from the list, would run cut short.
    ComboBoxSQL->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    // Statements are taken exactly as typed: no completion, no automatic insertion.
    ComboBoxSQL->setCompleter(nullptr);
    ComboBoxSQL->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxSQL->setMaxVisibleItems(25);
    ComboBoxSQL->setGeometry(0, 26, 791, 21);
    ComboBoxSQL->setToolTip(QStringLiteral("Entrer la requête SQL"));
    // The combo box has the focus and hands its keys on to its line edit.
    ComboBoxSQL->installEventFilter(this);
}

void TFicheSQL::createGridAndCaptureMenu()
{
    DBGridSQL = new TDBGrid(this, QStringLiteral("DBGridSQL"));
    DBGridSQL->setGeometry(0, 48, 791, 350);
    DBGridSQL->setToolTip(QStringLiteral("Clic droit pour paramétrer la capture"));
    DBGridSQL->horizontalHeader()->setFont(
        Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Points { 8 }));
    DBGridSQL->setDataSource(DataSourceQuerySQL);
    // A sort of a large result shows the long-work dialog; "Annuler" keeps the order shown.
    DBGridSQL->setLongWork([this](const std::function<void(const ParallelParts::Progress&)>& work) {
        WorkProgress progress(this, QStringLiteral("Tri"), QStringLiteral("Tri des lignes..."));
        work([&progress] { return progress.report(0); });
    });

    PopupMenuSQL = new QMenu(this);
    PopupMenuSQL->setObjectName(QStringLiteral("PopupMenuSQL"));
    // One mode at a time: the group unchecks the others.
    auto* modes = new QActionGroup(PopupMenuSQL);
    modes->setExclusive(true);
    auto addMode = [this, modes](const QString& name, const QString& caption) {
        QAction* a = PopupMenuSQL->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(true);
        modes->addAction(a);
        return a;
    };
    PopupRempla = addMode(QStringLiteral("PopupRempla"), QStringLiteral("Remplacer par cellule"));
    PopupAjout = addMode(QStringLiteral("PopupAjout"), QStringLiteral("Ajouter cellule"));
    PopupLigne = addMode(QStringLiteral("PopupLigne"), QStringLiteral("Ajouter ligne"));
    PopupRempla->setChecked(true);
    DBGridSQL->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGridSQL, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenuSQL->popup(DBGridSQL->viewport()->mapToGlobal(pos)); });
    // The Menu key and Shift+F10 open the menu at the current cell.
    DBGridSQL->installEventFilter(this);
    // The result out to the clipboard, and found by its text.
    CopieResultat = new ResultCopy(this, DBGridSQL);
    FiltreResultat = new ResultFilter(this, DBGridSQL, CopieResultat);
    ExportResultat = new ResultExport(this, DBGridSQL, CopieResultat->PopupEnTetes);
    GraphiqueResultat = new ResultChart(this, DBGridSQL, CopieResultat->PopupEnTetes, *PrintDialogSQL);
    RechercheResultat = new ResultFind(this, DBGridSQL);
}

void TFicheSQL::popupCaptureMenuAtCurrentCell()
{
    const QRect cell = DBGridSQL->visualRect(DBGridSQL->currentIndex()) & DBGridSQL->viewport()->rect();
    const QPoint place = cell.isValid() ? cell.center() : QPoint(0, 0);
    PopupMenuSQL->popup(DBGridSQL->viewport()->mapToGlobal(place));
    // The keyboard starts on the mode in force, which a screen reader reads out.
    PopupMenuSQL->setActiveAction(PopupRempla->actionGroup()->checkedAction());
}

void TFicheSQL::createMemos()
{
    auto place = [](QPlainTextEdit* memo, const QRect& geometry, const QString& hint) {
        memo->setGeometry(geometry);
        memo->setToolTip(hint);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Neither text needs a tab character: Tab and Shift+Tab move on, so that the
        // keyboard can leave the memo.
        memo->setTabChangesFocus(true);
    };
    MemoSQL = new QPlainTextEdit(this);
    MemoSQL->setObjectName(QStringLiteral("MemoSQL"));
    place(MemoSQL, QRect(0, 400, 394, 173), QStringLiteral("Texte de la cellule sélectionnée"));

    DBMemoSQL = new TDBMemo(this, QStringLiteral("DBMemoSQL"));
    place(DBMemoSQL, QRect(397, 400, 394, 173), QStringLiteral("Liste des requêtes enregistrées"));
}

void TFicheSQL::nameControlsForScreenReaders()
{
    // The tool buttons are named by their hints where they are made.
    ComboBoxSQL->setAccessibleName(QStringLiteral("Requête SQL"));
    ComboBoxSQL->lineEdit()->setAccessibleName(QStringLiteral("Requête SQL"));
    DBGridSQL->setAccessibleName(QStringLiteral("Résultat de la requête"));
    PopupMenuSQL->setAccessibleName(QStringLiteral("Mode de capture"));
    MemoSQL->setAccessibleName(MemoSQL->toolTip());
    DBMemoSQL->setAccessibleName(DBMemoSQL->toolTip());
    // Read out as its name, then what it counts now.
    AccessibleLabel::nameWithTextAsDescription(LabelCompteurSQL, QStringLiteral("Nombre d'enregistrements"));
}

void TFicheSQL::connectHandlers()
{
    using ErrorGuard::connectGuarded;
    // The list memo is bound once its handler is there: filling it from the field
    // refreshes the list.
    connectGuarded(DBMemoSQL, &TDBMemo::changed, this, &TFicheSQL::DBMemoSQLChange);
    DBMemoSQL->setDataField(QStringLiteral("TTTYPES"));
    DBMemoSQL->setDataSource(DataSourceTableSQL);

    connectGuarded(ToolButtonQuitter, &QToolButton::clicked, this, &TFicheSQL::ToolButtonQuitterClick);
    connect(ToolButtonResult, &QToolButton::clicked, this, [this] { runStatement(); });
    connectGuarded(ToolButtonAjout, &QToolButton::clicked, this, &TFicheSQL::ToolButtonAjoutClick);
    connectGuarded(ToolButtonCapturerSQL, &QToolButton::clicked, this, &TFicheSQL::ToolButtonCapturerSQLClick);
    connectGuarded(ToolButtonEnregistrer, &QToolButton::clicked, this, &TFicheSQL::ToolButtonEnregistrerClick);
    connectGuarded(ToolButtonImprimer, &QToolButton::clicked, this, &TFicheSQL::ToolButtonImprimerClick);
    connectGuarded(ToolButtonVoirSQL, &QToolButton::clicked, this, &TFicheSQL::ToolButtonVoirSQLClick);
    connectGuarded(DBGridSQL, &TDBGrid::cellClick, this, &TFicheSQL::DBGridSQLCellClick);
    connectGuarded(PopupRempla, &QAction::triggered, this, &TFicheSQL::PopupRemplaClick);
    connectGuarded(PopupAjout, &QAction::triggered, this, &TFicheSQL::PopupAjoutClick);
    connectGuarded(PopupLigne, &QAction::triggered, this, &TFicheSQL::PopupLigneClick);
}

void TFicheSQL::ToolButtonResultClick(QObject*)
{
    runWith({});
}

void TFicheSQL::runWith(const NamedValues& values)
{
    const QString text = ComboBoxSQL->currentText();
    if (!text.isEmpty()) {
        QuerySQL->close();
        QuerySQL->setSQL(text);
        QuerySQL->setParameterValues(values);
        m_aids->runStarts(text, values);
        try {
            // A stop asked in the dialog fails the statement like any rejected one.
            WorkProgress progress(
                this, QStringLiteral("Requête SQL"), QStringLiteral("Exécution de la requête..."), rowsRead);
            QuerySQL->setOnProgress([&progress](qint64 rows) { return progress.report(rows); });
            const auto detach = qScopeGuard([this] { QuerySQL->setOnProgress({}); });
            QuerySQL->open();
        } catch (const EDatabaseError& e) {
            // A statement that fails may still leave a transaction open (a batch that
            // began one): the message says so under the engine's.
            m_aids->runFailed(m_transaction->check());
            if (!m_transaction->open())
                throw;
            throw EDatabaseError(
                ErrorGuard::withFinalDot(e.message()) + QLatin1Char('\n') + openTransactionMessage(), e.position());
        } catch (...) {
            m_aids->runFailed(m_transaction->check());
            throw;
        }
        const qsizetype n = QuerySQL->recordCount();
        m_aids->runEnded(n, m_transaction->check());
        if (n == 0)
            LabelCompteurSQL->setText(QStringLiteral("Aucun résultat"));
        else if (n == 1)
            LabelCompteurSQL->setText(QStringLiteral("1 enregistrement"));
        else
            LabelCompteurSQL->setText(QString::number(n) + QStringLiteral(" enregistrements"));
        LabelCompteurSQL->adjustSize();
        AjoutComboBoxSQL();
    }
    ComboBoxSQL->setFocus();
}

void TFicheSQL::runStatement(const NamedValues& values)
{
    guarded([this, &values] { runWith(values); });
    m_aids->pointAtError();
}

void TFicheSQL::AjoutComboBoxSQL()
{
    const QString text = ComboBoxSQL->currentText();
    if (!m_listed.contains(text))
        insertSorted(text);
}

void TFicheSQL::insertSorted(const QString& text)
{
    const int position = RememberedList::insertPosition(
        ComboBoxSQL->count(), text, [this](int i) { return ComboBoxSQL->itemText(i); });
    const int before = ComboBoxSQL->count();
    // Adding an item must not replace what the statement box shows.
    const QString edited = ComboBoxSQL->lineEdit()->text();
    const int cursor = ComboBoxSQL->lineEdit()->cursorPosition();
    const QSignalBlocker block(ComboBoxSQL);
    ComboBoxSQL->insertItem(position, text);
    if (ComboBoxSQL->lineEdit()->text() != edited) {
        ComboBoxSQL->setEditText(edited);
        ComboBoxSQL->lineEdit()->setCursorPosition(cursor);
    }
    if (ComboBoxSQL->count() != before + 1)
        throw Exception(QStringLiteral("Ne peut insérer une ligne"));
    m_listed.insert(text);
}

void TFicheSQL::ComboBoxSQLKeyPress(QObject*, QChar& key)
{
    if (key == QChar(13))
        ToolButtonResultClick(this);
}

void TFicheSQL::ToolButtonQuitterClick(QObject*)
{
    close();
}

void TFicheSQL::FormActivate(QObject*)
{
    refreshList();
}

void TFicheSQL::DBMemoSQLChange(QObject*)
{
    refreshList();
}

void TFicheSQL::refreshList()
{
    // The lines are counted once, at the start of the pass.
    for (const QString& line : RememberedList::linesToAdd(RememberedList::memoLines(DBMemoSQL->text()), m_listed))
        insertSorted(line);
}

void TFicheSQL::ToolButtonAjoutClick(QObject*)
{
    TableSQL->edit();
    DBMemoSQL->setText(RememberedList::withLine(DBMemoSQL->text(), ComboBoxSQL->currentText()));
}

void TFicheSQL::FormClose(QObject*)
{
    if (TableSQL->editing()) {
        Dialogs::MessageBox box;
        box.caption = QStringLiteral("Confirmation");
        box.text = QStringLiteral(" Enregistrer les modifications de la liste des requêtes ?");
        box.icon = Dialogs::Icon::None;
        box.buttons = { QStringLiteral("Oui"), QStringLiteral("Non") };
        box.defaultButton = 0;
        if (Dialogs::instance().messageBox(this, box) == 0)
            TableSQL->post();
        else
            TableSQL->cancel();
    }
    qApp->quit();
}

void TFicheSQL::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        Controls::centreOnScreen(this);
        ComboBoxSQL->setFocus();
    }
}

void TFicheSQL::closeEvent(QCloseEvent* event)
{
    // Closing while a statement, an export or a print runs would save the list and
    // leave the work half done; the user stops it with "Annuler" first.
    if (WorkProgress::running()) {
        event->ignore();
        return;
    }
    try {
        // The user's transaction is settled first: the list's post must not join it.
        if (!m_transaction->settleBeforeClosing()) {
            event->ignore();
            return;
        }
        FormClose(this);
        event->accept();
    } catch (...) {
        // The window stays open when closing fails (a list that cannot be saved).
        event->ignore();
        ErrorGuard::reportCurrentException(this);
    }
}

bool TFicheSQL::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        guarded([this] { FormActivate(this); });
    return QWidget::event(e);
}

bool TFicheSQL::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == DBGridSQL && isCaptureMenuRequest(e)) {
        popupCaptureMenuAtCurrentCell();
        return true;
    }
    if (watched == ComboBoxSQL && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QChar c(13);
            guarded([this, &c] { ComboBoxSQLKeyPress(ComboBoxSQL, c); });
            m_aids->pointAtError();
        }
    }
    return QWidget::eventFilter(watched, e);
}
