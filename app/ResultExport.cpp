#include "app/ResultExport.h"

#include "app/ResultFilter.h"
#include "app/WorkProgress.h"
#include "data/DataSet.h"
#include "export/CsvExport.h"
#include "export/ExportedFields.h"
#include "export/XlsxExport.h"
#include "platform/Exceptions.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QScopeGuard>
#include <QShortcut>

namespace
{

Dialogs::SaveFile saveDialog(const QString& title, const FileExport& format)
{
    Dialogs::SaveFile dialog;
    dialog.title = title;
    dialog.filters = { format.filterEntry() };
    dialog.defaultSuffix = format.defaultExtension();
    dialog.directory = QDir::homePath();
    return dialog;
}

} // namespace

ResultExport::ResultExport(QWidget* window, TDBGrid* grid, QMenu* headerMenu)
    : QObject(window)
    , ExportClasseur(std::make_unique<XlsxExport>())
    , ExportCSV(std::make_unique<CsvExport>())
    , m_window(window)
    , m_grid(grid)
{
    SaveDialogClasseur = saveDialog(QStringLiteral("Exporter vers un classeur"), *ExportClasseur);
    SaveDialogCSV = saveDialog(QStringLiteral("Exporter en CSV"), *ExportCSV);
    headerMenu->addSeparator();
    PopupExporterClasseur
        = addCommand(headerMenu, QStringLiteral("PopupExporterClasseur"), QStringLiteral("Exporter vers un classeur…"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X), &ResultExport::exportWorkbook);
    PopupExporterCSV = addCommand(headerMenu, QStringLiteral("PopupExporterCSV"), QStringLiteral("Exporter en CSV…"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &ResultExport::exportCsv);
}

ResultExport::~ResultExport() = default;

QAction* ResultExport::addCommand(
    QMenu* menu, const QString& name, const QString& caption, const QKeySequence& keys, void (ResultExport::*command)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setShortcut(keys);
    using ErrorGuard::connectGuarded;
    connectGuarded(action, &QAction::triggered, this, command);
    connectGuarded(new QShortcut(keys, m_window), &QShortcut::activated, this, command);
    return action;
}

void ResultExport::exportWorkbook()
{
    if (!XlsxExport::available())
        throw Exception(XlsxExport::unavailableMessage());
    ExportClasseur->setFields(shownFields(*m_grid));
    run(*ExportClasseur, SaveDialogClasseur);
}

void ResultExport::exportCsv()
{
    ExportCSV->setFields(shownFields(*m_grid));
    run(*ExportCSV, SaveDialogCSV);
}

std::vector<int> ResultExport::shownFields(const TDBGrid& grid)
{
    std::vector<int> fields;
    for (int i = 0, n = grid.columnCountShown(); i < n; ++i)
        fields.push_back(grid.fieldAtDisplayColumn(i)->index());
    return fields;
}

void ResultExport::run(FileExport& format, Dialogs::SaveFile& dialog)
{
    // Nothing to export: said before a file is asked for.
    TDataSet& data = ExportedFields::checked(m_grid->dataSet());
    format.setDataSet(&data);
    const auto chosen = Dialogs::instance().saveFile(m_window, dialog);
    if (!chosen)
        return;
    dialog.fileName = chosen->fileName;
    {
        RowsToWrite rows;
        if (!rows.ask(m_window, &data, QStringLiteral("Écrire")))
            return;
        write(m_window, format, chosen->fileName, QStringLiteral("Exportation"),
            QStringLiteral("Exportation des données..."));
    }
    data.first();
}

bool ResultExport::write(
    QWidget* window, FileExport& format, const QString& fileName, const QString& title, const QString& label)
{
    WorkProgress progress(window, title, label, WorkProgress::recordWritten);
    format.setOnProgress([&progress](qsizetype done, qsizetype total) { return progress.report(done, total); });
    const auto detach = qScopeGuard([&format] { format.setOnProgress({}); });
    return format.ExportToFile(fileName);
}
