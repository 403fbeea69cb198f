#pragma once

#include "engine/StatementParameters.h"
#include "ui/Dialogs.h"

#include <QSet>
#include <QWidget>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QToolButton;
class TDBGrid;
class ResultCopy;
class ResultChart;
class ResultExport;
class ResultFilter;
class ResultFind;
class TDBMemo;
class TDataSource;
class TQuery;
class TTable;
class TKDatasetToText;
class TKDataSetToHTML;
class TKDatasetToPrinter;
class QPrinter;
class QueryAids;
class UserTransaction;

// The query window: the statement box, the result grid with its record counter,
// the cell memo and the remembered list of statements.
class TFicheSQL : public QWidget
{
    Q_OBJECT
public:
    // Opens the settings table; throws when it cannot be opened.
    explicit TFicheSQL(QWidget* parent = nullptr);
    ~TFicheSQL() override;

    // Handlers.
    void ToolButtonResultClick(QObject* sender);
    void ComboBoxSQLKeyPress(QObject* sender, QChar& key);
    void ToolButtonQuitterClick(QObject* sender);
    void FormActivate(QObject* sender);
    void FormClose(QObject* sender);
    void DBMemoSQLChange(QObject* sender);
    void ToolButtonAjoutClick(QObject* sender);
    void DBGridSQLCellClick(int column);
    void PopupRemplaClick(QObject* sender);
    void PopupAjoutClick(QObject* sender);
    void PopupLigneClick(QObject* sender);
    void ToolButtonCapturerSQLClick(QObject* sender);
    void ToolButtonVoirSQLClick(QObject* sender);
    void ToolButtonEnregistrerClick(QObject* sender);
    void ToolButtonImprimerClick(QObject* sender);

    // Runs the statement as the run button, Enter and F5 do: a failure is shown in
    // the error box, then the statement box selects the place it points at. values:
    // those of its parameters (Shift+F5).
    void runStatement(const NamedValues& values = {});

    // The user's own transaction on the window's connection (see UserTransaction).
    UserTransaction* transaction() const { return m_transaction; }

    // The cell memo's text, lines ended by CR LF.
    QString memoText() const;
    // Throws when text is longer than the memo holds (1 Mi characters); the memo is
    // then left as it was.
    void setMemoText(const QString& text);

    // Controls, named as their objectName.
    QFrame* BevelHautSQL;
    QWidget* ToolBarSQL;
    QToolButton* ToolButtonQuitter;
    QToolButton* ToolButtonResult;
    QToolButton* ToolButtonAjout;
    QToolButton* ToolButtonEnregistrer;
    QToolButton* ToolButtonImprimer;
    QToolButton* ToolButtonCapturerSQL;
    QToolButton* ToolButtonVoirSQL;
    QLabel* LabelCompteurSQL;
    // Shown while a transaction that the user's statements opened is still open.
    QLabel* LabelTransactionSQL;
    QFrame* BevelBasSQL;
    QComboBox* ComboBoxSQL;
    TDBGrid* DBGridSQL;
    QPlainTextEdit* MemoSQL;
    TDBMemo* DBMemoSQL;
    QMenu* PopupMenuSQL;
    QAction* PopupRempla;
    QAction* PopupAjout;
    QAction* PopupLigne;
    // The header menu and Ctrl+Shift+C; Ctrl+F, F3 and Shift+F3.
    ResultCopy* CopieResultat;
    ResultFind* RechercheResultat;
    // The header menu's "Filtrer…" and "Retirer les filtres".
    ResultFilter* FiltreResultat;
    // The header menu's exports to a workbook (Ctrl+Shift+X) and to CSV (Ctrl+Shift+S).
    ResultExport* ExportResultat;
    // The header menu's chart of the result (Ctrl+Shift+G).
    ResultChart* GraphiqueResultat;

    // Components.
    TQuery* QuerySQL;
    TDataSource* DataSourceQuerySQL;
    TTable* TableSQL;
    TDataSource* DataSourceTableSQL;
    TKDatasetToText* KDatasetToTextSQL;
    TKDataSetToHTML* KDataSetToHTMLSQL;
    // SaveDialogSQL: opens with the file name and filter entry of its last confirmed use.
    Dialogs::SaveFile SaveDialogSQL;
    TKDatasetToPrinter* KDatasetToPrinterSQL;
    // PrintDialogSQL's printer: keeps the choices made in the print dialog.
    std::unique_ptr<QPrinter> PrintDialogSQL;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The statement box's statement run with values for its parameters.
    void runWith(const NamedValues& values);
    void AjoutComboBoxSQL();
    // Puts text into the sorted drop-down list without touching the statement box.
    void insertSorted(const QString& text);
    void refreshList();
    // Adds the current row's cells, in the order shown, to the cell memo.
    void captureRow(const QString& separator);
    void createControls();
    void createToolBar();
    void createStatementBox();
    void createGridAndCaptureMenu();
    void createMemos();
    void connectHandlers();
    void nameControlsForScreenReaders();
    void popupCaptureMenuAtCurrentCell();

    QueryAids* m_aids = nullptr;
    UserTransaction* m_transaction = nullptr;
    bool m_centred = false;
    // The items of the drop-down list, for exact comparisons without a walk over it.
    QSet<QString> m_listed;
};

extern TFicheSQL* FicheSQL;
