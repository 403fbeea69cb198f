#pragma once

#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QToolButton;
class TDBGrid;
class TDataSource;
class TQuery;
class TTable;

// The query window: the statement box, the result grid with its record counter,
// the cell memo and the remembered list of statements.
class TFicheSQL : public QWidget {
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
    QFrame* BevelBasSQL;
    QComboBox* ComboBoxSQL;
    TDBGrid* DBGridSQL;
    QPlainTextEdit* MemoSQL;
    QPlainTextEdit* DBMemoSQL;
    QMenu* PopupMenuSQL;
    QAction* PopupRempla;
    QAction* PopupAjout;
    QAction* PopupLigne;

    // Components.
    TQuery* QuerySQL;
    TDataSource* DataSourceQuerySQL;
    TTable* TableSQL;
    TDataSource* DataSourceTableSQL;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AjoutComboBoxSQL();
    void createControls();
    QToolButton* addToolButton(const QString& name, int imageIndex, const QString& hint);
    void centreOnScreen();

    bool m_centred = false;
};

extern TFicheSQL* FicheSQL;
