#pragma once

#include <QObject>
#include <QtGlobal>

class QAction;
class QMenu;
class QWidget;
class TDBGrid;

// Copies the query window's result to the clipboard (see ClipboardTable): the grid's
// header menu, "Copier la colonne" (the column under the mouse) and "Copier le
// résultat avec les en-têtes" (every column in the order shown), and Ctrl+Shift+C for
// the latter anywhere in the window. A long copy shows the long-work dialog, whose
// "Annuler" leaves the clipboard as it was; a copy that would take more memory than
// the ceiling is refused with a message.
class ResultCopy : public QObject
{
    Q_OBJECT
public:
    ResultCopy(QWidget* window, TDBGrid* grid);

    QMenu* PopupEnTetes;
    QAction* PopupCopierColonne;
    QAction* PopupCopierResultat;

    // The grid's column (model index) that the header menu was opened on; -1: none.
    int menuColumn() const { return m_menuColumn; }
    // column: the grid's column (model index).
    void copyColumn(int column);
    void copyResult();
    // The memory a copy may take, in bytes; 0 (the default): what the memory ceiling
    // of results leaves beside the result itself.
    void setCeiling(qsizetype bytes) { m_ceiling = bytes; }

private:
    void popupMenu(const QPoint& position);
    void copy(const QList<int>& fields);

    QWidget* m_window;
    TDBGrid* m_grid;
    int m_menuColumn = -1;
    qsizetype m_ceiling = 0;
};
