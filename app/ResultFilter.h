#pragma once

#include "data/DataSet.h"

#include <QObject>
#include <optional>

class QAction;
class QMenu;
class QWidget;
class ResultCopy;
class TDBGrid;

// Filters the query window's result from the grid's header menu: "Filtrer…" asks a
// condition on the column under the mouse in "Filtrer" and shows the rows that pass it
// and the conditions of the other columns (see TDataSet::filterBy); "Retirer les
// filtres" shows every row again. A long filter shows the long-work dialog, whose
// "Annuler" keeps the rows shown. No statement runs again.
class ResultFilter : public QObject
{
    Q_OBJECT
public:
    // The entries go at the end of the header menu of copy.
    ResultFilter(QWidget* window, TDBGrid* grid, ResultCopy* copy);

    QAction* PopupFiltrer;
    QAction* PopupRetirerFiltres;

    // column: the grid's column (model index).
    void filterColumn(int column);
    void removeFilters();

private:
    QWidget* m_window;
    TDBGrid* m_grid;
};

// The records that a command writes (a save, an export, the print, a copy): when the
// result is filtered, the user is asked first whether to write the records shown or
// all of them, so that no row is left out unseen. While it lives after the answer
// "Tous les enregistrements", the data set shows all of its rows.
class RowsToWrite
{
public:
    // False when the user cancelled: nothing is to be written. verb: what the command
    // does to the records ("Enregistrer", "Imprimer", "Copier").
    [[nodiscard]] bool ask(QWidget* window, TDataSet* data, const QString& verb);

private:
    std::optional<TDataSet::AllRows> m_all;
};
