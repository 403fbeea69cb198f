#pragma once

#include "ui/Dialogs.h"

#include <QObject>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;
class CsvExport;
class FileExport;
class TDataSet;
class TDBGrid;
class XlsxExport;

// The query window's exports for spreadsheets, each a command of its own beside the
// save button: "Exporter vers un classeur…" (Ctrl+Shift+X) writes a workbook,
// "Exporter en CSV…" (Ctrl+Shift+S) a CSV file, of the result as the grid shows it
// (its order, its visible columns). Both are entries of the grid's header menu. Each
// asks for the file in a save dialog of its own, which remembers the last name
// confirmed, then writes it under the long-work dialog: "Annuler" leaves the file as
// it was, and says nothing.
class ResultExport : public QObject
{
    Q_OBJECT
public:
    // Exports what grid shows; the entries go at the end of headerMenu.
    ResultExport(QWidget* window, TDBGrid* grid, QMenu* headerMenu);
    ~ResultExport() override;

    QAction* PopupExporterClasseur;
    QAction* PopupExporterCSV;
    std::unique_ptr<XlsxExport> ExportClasseur;
    std::unique_ptr<CsvExport> ExportCSV;
    Dialogs::SaveFile SaveDialogClasseur;
    Dialogs::SaveFile SaveDialogCSV;

    void exportWorkbook();
    void exportCsv();

    // Writes fileName in format under the long-work dialog (title, label), whose
    // "Annuler" stops it with the file as it was, and no message: the user asked for it.
    // False when stopped.
    static bool write(
        QWidget* window, FileExport& format, const QString& fileName, const QString& title, const QString& label);
    // The grid's fields in the order its columns are shown.
    [[nodiscard]] static std::vector<int> shownFields(const TDBGrid& grid);

private:
    QAction* addCommand(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& keys,
        void (ResultExport::*command)());
    void run(FileExport& format, Dialogs::SaveFile& dialog);


    QWidget* m_window;
    TDBGrid* m_grid;
};
