#pragma once

#include "engine/StatementParameters.h"

#include <QDialog>
#include <QList>
#include <QTime>

class QTreeWidget;

// One statement run since the program started.
struct HistoryEntry {
    QString statement;
    QTime at; // when it started
    qint64 records = -1; // rows read; -1 when it failed
    QString error; // the engine's message when it failed
    qint64 milliseconds = 0;
    bool transactionOpen = false; // it left the user's transaction open
    NamedValues values; // given to its parameters, when it was run with them
};

// The statements run since the start, in the order run; kept in memory only.
class StatementHistory
{
public:
    void add(HistoryEntry entry) { m_entries.append(std::move(entry)); }
    const QList<HistoryEntry>& entries() const { return m_entries; }

private:
    QList<HistoryEntry> m_entries;
};

// "Historique": the history, newest first: time, statement (followed by the values of
// its parameters), record count or error, duration. Enter or a double-click on a line emits chosen() with its statement
// and closes the dialog.
class HistoryDialog : public QDialog
{
    Q_OBJECT
public:
    HistoryDialog(const StatementHistory& history, QWidget* parent = nullptr);

    QTreeWidget* list() const { return m_list; }

    // What the result column shows for an entry: "12 enregistrements", the error;
    // then "(transaction ouverte)" when the statement left one open.
    static QString resultText(const HistoryEntry& entry);
    // What the statement column shows after a statement run with values:
    // "(nom = « O'Brien », n = NULL)"; nothing for none.
    static QString valuesText(const NamedValues& values);
    // "0,25 s", "1 min 05 s": a duration in the user's locale.
    static QString durationText(qint64 milliseconds);

signals:
    void chosen(const QString& statement);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose();
    // Failed runs in the shade of red that reads on the list's palette.
    void colourFailures();
    QTreeWidget* m_list;
};
