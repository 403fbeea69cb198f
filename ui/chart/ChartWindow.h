#pragma once

#include "data/ChartData.h"
#include "ui/chart/ChartDrawing.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

// The window "Graphique": a chart of the result, with the choice of its kind, of the
// column of its categories or X axis and of its values (numeric columns, or the count
// of records per category). It says when it draws a reduction of many points, and
// its chart's accessible name and description say what it shows. Its two buttons,
// "Enregistrer l'image…" and "Imprimer…", are left to the program to connect.
class ChartWindow : public QWidget
{
    Q_OBJECT
public:
    // A column that can be chosen: the field's index, its name and whether it holds
    // numbers (only those can be values).
    struct Column {
        int field = -1;
        QString name;
        bool numeric = false;
        friend bool operator==(const Column&, const Column&) = default;
    };
    // Reads the data of a choice; throws Exception with a message for the user.
    using Reader = std::function<ChartData(const ChartChoice&)>;

    explicit ChartWindow(QWidget* parent = nullptr);
    ~ChartWindow() override;

    // Offers columns, chosen at first as: the first column that is not numeric (else
    // the first) for X, and the first numeric column after it for values (the count
    // when there is none), in lines rather than bars when there are too many points;
    // then reads and draws through reader, or says in the window why it cannot. The
    // same columns as before keep the choice made.
    void setColumns(const std::vector<Column>& columns, Reader reader);
    // Reads and draws the current choice again; throws as the reader does.
    void draw();

    ChartChoice choice() const;
    void setChoice(const ChartChoice& choice);
    const ChartDrawing::Summary& summary() const { return m_summary; }

    // Controls, named as their objectName.
    QComboBox* ComboBoxGenre;
    QComboBox* ComboBoxAxeX;
    QListWidget* ListeValeurs; // the count first, then the numeric columns, checkable
    QPushButton* BoutonEnregistrerImage;
    QPushButton* BoutonImprimer;
    QLabel* LabelReduction;
    QChartView* ChartViewGraphique;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Draws the data read last, for the plot's size and the palette.
    void paint();
    // Draws again after a change, reading the data again if read: a message in place
    // of the chart when it cannot be drawn.
    void redrawShown(bool read = true);
    void showSummary();
    bool darkPalette() const;

    std::vector<Column> m_columns;
    Reader m_reader;
    ChartData m_data;
    ChartDrawing::Summary m_summary;
    bool m_filling = false;
    // A resized window draws again, once, when the resizing stops.
    QTimer m_resized;
    QSize m_drawnFor;
};
