#pragma once

#include "ui/Dialogs.h"

#include <QObject>

class QWidget;
class TDBGrid;

// Finds a text in the query window's result: Ctrl+F asks for it in "Rechercher" and
// finds the next cell that holds it; F3 and Shift+F3 find the next and the previous
// one (see CellSearch), going on from the current cell and wrapping at the end. The
// cell found becomes the grid's current cell; when there is none the user is told
// "Texte introuvable : « … »". A long search shows the long-work dialog.
class ResultFind : public QObject
{
    Q_OBJECT
public:
    ResultFind(QWidget* window, TDBGrid* grid);

    // Ctrl+F, F3 and Shift+F3. The next ones ask for the text when none was given yet.
    void findText();
    void findNext() { find(false); }
    void findPrevious() { find(true); }

private:
    void find(bool backward);

    QWidget* m_window;
    TDBGrid* m_grid;
    Dialogs::Find m_last;
};
