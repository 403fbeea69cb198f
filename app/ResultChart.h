#pragma once

#include "ui/Dialogs.h"

#include <QObject>

class ChartWindow;
class QAction;
class QMenu;
class QPrinter;
class QWidget;
class TDBGrid;

// The query window's chart: "Graphique…" (Ctrl+Shift+G, and an entry of the grid's
// header menu) opens the window "Graphique" on the result as the grid shows it (its
// order, its records, its columns), read again each time. The window's "Enregistrer
// l'image…" writes PNG, SVG or PDF, as the save dialog's entry says, through the
// program's safe file replacement; its "Imprimer…" prints the chart through the print
// dialog of the result's print, on one page. A build without Qt Charts keeps the
// command, which then says that the chart is not in this build.
class ResultChart : public QObject
{
    Q_OBJECT
public:
    // printer: the result print's (the choices made in its dialog), not owned.
    ResultChart(QWidget* window, TDBGrid* grid, QMenu* headerMenu, QPrinter& printer);
    ~ResultChart() override;

    QAction* PopupGraphique;
    Dialogs::SaveFile SaveDialogImage;

    // Whether this build draws charts.
    [[nodiscard]] static bool available();
    [[nodiscard]] static QString unavailableMessage();

    void showChart();
    void saveImage();
    void printChart();
    // The chart window, once opened.
    ChartWindow* chartWindow() const { return m_chart; }

private:
    QWidget* m_window;
    TDBGrid* m_grid;
    QPrinter& m_printer;
    ChartWindow* m_chart = nullptr;
};
