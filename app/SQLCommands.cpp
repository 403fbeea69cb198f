// The query window's commands on its result: the cell captures, the save of the
// whole result to a file, and its print.
#include "app/SQL.h"
#include "app/Capture.h"
#include "app/ClipBoard.h"
#include "app/ResultExport.h"
#include "app/ResultFilter.h"
#include "app/WorkProgress.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "data/Table.h"
#include "export/FileExports.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"
#include "export/kds2prn.h"
#include "output/printing/QtPrinter.h"
#include "platform/Exceptions.h"
#include "platform/LineEnds.h"
#include "ui/Dialogs.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/DBMemo.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScopeGuard>

namespace
{
// The cell memo lays its text out whole at every change: a line of 50 MB took 20
// seconds to show, and as long again at every key typed into it. It holds what the
// capture editor can take at most.
constexpr qsizetype kMemoCapacity = qsizetype(1) << 20;

// The separator as stored at this moment: another program may have changed it.
QString storedSeparator(TTable* table)
{
    table->refresh();
    return table->FieldByName(QStringLiteral("POLICE5"))->text();
}
} // namespace

void TFicheSQL::DBGridSQLCellClick(int)
{
    // The separator is read afresh on every click, before anything else.
    const QString separator = storedSeparator(TableSQL);
    if (MemoSQL->isHidden() || !QuerySQL->active())
        return;
    if (PopupRempla->isChecked())
        setMemoText(Capture::cellText(DBGridSQL->selectedField()));
    if (PopupAjout->isChecked())
        setMemoText(Capture::addCell(memoText(), separator, Capture::cellText(DBGridSQL->selectedField())));
    if (PopupLigne->isChecked())
        captureRow(separator);
}

void TFicheSQL::captureRow(const QString& separator)
{
    const QString memo = memoText();
    QStringList cells;
    try {
        for (int i = 0, n = DBGridSQL->columnCountShown(); i < n; ++i)
            cells += Capture::cellText(DBGridSQL->fieldAtDisplayColumn(i));
    } catch (...) {
        // The cells read before a failure stay in the memo.
        setMemoText(Capture::addRow(memo, separator, cells));
        throw;
    }
    setMemoText(Capture::addRow(memo, separator, cells));
}

void TFicheSQL::PopupRemplaClick(QObject*)
{
    PopupRempla->setChecked(true);
}

void TFicheSQL::PopupAjoutClick(QObject*)
{
    PopupAjout->setChecked(true);
}

void TFicheSQL::PopupLigneClick(QObject*)
{
    PopupLigne->setChecked(true);
}

void TFicheSQL::ToolButtonCapturerSQLClick(QObject*)
{
    FicheClip->AppendLine(memoText());
}

void TFicheSQL::ToolButtonVoirSQLClick(QObject*)
{
    FicheClip->showEditor();
}

void TFicheSQL::ToolButtonEnregistrerClick(QObject*)
{
    // The delimiter is replaced before the dialog, whatever the user then does.
    const QString separator = storedSeparator(TableSQL);
    KDatasetToTextSQL->setDelimiter(delimiterOf(separator));
    const auto chosen = Dialogs::instance().saveFile(this, SaveDialogSQL);
    if (!chosen)
        return;
    SaveDialogSQL.fileName = chosen->fileName;
    SaveDialogSQL.filterIndex = chosen->filterIndex;
    // The format follows the filter entry alone, never the name's extension.
    HtmlFileExport html(*KDataSetToHTMLSQL);
    TextFileExport text(*KDatasetToTextSQL);
    FileExport* const formats[] = { &html, &text };
    if (chosen->filterIndex >= 1 && chosen->filterIndex <= int(std::size(formats))) {
        RowsToWrite rows;
        if (!rows.ask(this, QuerySQL, QStringLiteral("Écrire")))
            return;
        ResultExport::write(this, *formats[chosen->filterIndex - 1], chosen->fileName, QStringLiteral("Enregistrement"),
            QStringLiteral("Enregistrement des données..."));
    }
    QuerySQL->first();
}

void TFicheSQL::ToolButtonImprimerClick(QObject*)
{
    if (!Dialogs::instance().print(this, *PrintDialogSQL, Dialogs::PrintSetup {}))
        return;
    RowsToWrite rows;
    if (!rows.ask(this, QuerySQL, QStringLiteral("Imprimer")))
        return;
    QtPrinter printer(*PrintDialogSQL);
    KDatasetToPrinterSQL->setPrinter(&printer);
    // "Annuler" aborts the job: nothing is printed, and no message.
    WorkProgress progress(this, QStringLiteral("Impression"), QStringLiteral("Impression des données de la requête…"));
    KDatasetToPrinterSQL->setOnProgress(
        [&progress](qsizetype done, qsizetype total) { return progress.report(done, total); });
    const auto detach = qScopeGuard([this] {
        KDatasetToPrinterSQL->setPrinter(nullptr);
        KDatasetToPrinterSQL->setOnProgress({});
    });
    KDatasetToPrinterSQL->Print();
}

QString TFicheSQL::memoText() const
{
    return textWithCrLf(*MemoSQL);
}

void TFicheSQL::setMemoText(const QString& text)
{
    if (text.size() > kMemoCapacity)
        throw Exception(QStringLiteral("Texte trop long pour la zone de capture : %1 caractères, au plus %2")
                            .arg(text.size())
                            .arg(kMemoCapacity));
    MemoSQL->setPlainText(LineEnds::toLf(text));
}
