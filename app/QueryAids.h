#pragma once

#include "ui/sql/HistoryDialog.h"
#include "ui/sql/SqlCompleter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QAbstractScrollArea;
class QComboBox;
class Connection;
class QWidget;
class TQuery;
class TablesWindow;
class ViewZoom;

// The controls of the query window that its aids serve, all owned by the window.
struct QueryControls {
    QWidget* window = nullptr; // where the keys act; the dialogs' parent
    QComboBox* statement = nullptr; // the statement box
    // The views that zoom, in the order F6 reaches them after the statement box: the
    // grid, the cell memo, the list memo.
    QList<QAbstractScrollArea*> views;
    TQuery* query = nullptr; // its database names the tables and columns completed
    // Runs the statement in the box, with the values of its parameters.
    std::function<void(const NamedValues&)> run;
};

// What the query window offers beyond its buttons: the statement box's colours,
// placeholder and completion, the query editor (Ctrl+E), this run's history
// (Ctrl+H), the list of tables (Ctrl+T), F5, the run with values for the parameters
// (Shift+F5), F6 and Shift+F6, the zoom of the grid and memos, and
// the place an error points at, selected in the statement box once the error box has closed.
class QueryAids : public QObject
{
    Q_OBJECT
public:
    // Owned by the window (the parent), whose controls exist.
    QueryAids(QueryControls controls, QObject* parent);

    // The window's run of a statement, with the values of its parameters: its start,
    // then its end or its failure (call inside the catch block).
    void runStarts(const QString& statement, const NamedValues& values = {});
    // transactionOpen: the statement left the user's transaction open.
    void runEnded(qint64 records, bool transactionOpen);
    void runFailed(bool transactionOpen);
    // Selects in the statement box the place the last failure points at, once.
    void pointAtError();

    // The tables and columns of the database: read at the first need, and again after a
    // statement that may have changed them, or once the connection was opened anew.
    const SqlNames& names();
    // Reads them again at the next need (and now for the open list of tables).
    void forgetNames();
    const StatementHistory& history() const { return m_history; }
    ViewZoom* zoom() const { return m_zoom; }

    // The keys, as the user presses them.
    void openEditor();
    void openHistory();
    // Shows the list of tables, made at the first use; each later use brings it up.
    void openTables();
    // Asks the values of the statement's parameters, each proposed as last given in
    // this run, then runs it with them; nothing runs when the dialog is cancelled.
    void runWithValues();
    // F6, Shift+F6: the statement box, the grid, the cell memo, the list memo.
    void moveFocus(bool forward);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addKeys();
    void addKey(const QKeySequence& keys, std::function<void()> handler);
    // F6's order: the statement box, then the views.
    QList<QWidget*> focusCycle() const;
    // After a run: the statement may have changed the tables.
    void ranStatement();
    // The list of tables shows the names, when it does not already.
    void showNames();
    // After a choice in the list of tables: the statement box, in front.
    void backToStatement();

    QueryControls m_controls;
    ViewZoom* m_zoom;
    StatementHistory m_history;
    HistoryEntry m_running;
    QElapsedTimer m_clock;
    // The failed statement and the place its error points at; -1 when none.
    QString m_failed;
    qsizetype m_errorPlace = -1;
    SqlNames m_names;
    bool m_namesRead = false;
    // Why the last reading of the names failed; empty when it did not.
    QString m_namesError;
    // The connection the names were read from.
    std::weak_ptr<Connection> m_namesFrom;
    QPointer<TablesWindow> m_tables;
    // Counts the readings of the names; the one the list of tables shows.
    int m_namesReading = 0;
    int m_tablesShow = -1;
    QList<QKeySequence> m_keys;
    // The value last given to each parameter's name, in memory only.
    QHash<QString, ParameterValue> m_lastValues;
};
