#include "app/ResultCopy.h"

#include "app/ResultFilter.h"
#include "app/WorkProgress.h"
#include "data/DataSet.h"
#include "engine/ResultStore.h"
#include "export/ClipboardTable.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>

ResultCopy::ResultCopy(QWidget* window, TDBGrid* grid)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
{
    PopupEnTetes = new QMenu(window);
    PopupEnTetes->setObjectName(QStringLiteral("PopupEnTetes"));
    PopupCopierColonne = PopupEnTetes->addAction(QStringLiteral("Copier la colonne"));
    PopupCopierColonne->setObjectName(QStringLiteral("PopupCopierColonne"));
    PopupCopierResultat = PopupEnTetes->addAction(QStringLiteral("Copier le résultat avec les en-têtes"));
    PopupCopierResultat->setObjectName(QStringLiteral("PopupCopierResultat"));
    PopupCopierResultat->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));

    QHeaderView* header = grid->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, &ResultCopy::popupMenu);
    using ErrorGuard::connectGuarded;
    connectGuarded(
        PopupCopierColonne, &QAction::triggered, this, [](ResultCopy* self) { self->copyColumn(self->m_menuColumn); });
    connectGuarded(PopupCopierResultat, &QAction::triggered, this, &ResultCopy::copyResult);
    auto* shortcut = new QShortcut(PopupCopierResultat->shortcut(), window);
    connectGuarded(shortcut, &QShortcut::activated, this, &ResultCopy::copyResult);
}

void ResultCopy::popupMenu(const QPoint& position)
{
    QHeaderView* header = m_grid->horizontalHeader();
    m_menuColumn = header->logicalIndexAt(position);
    PopupCopierColonne->setEnabled(m_menuColumn >= 0);
    PopupEnTetes->popup(header->mapToGlobal(position));
}

void ResultCopy::copyColumn(int column)
{
    if (const TField* f = m_grid->fieldAtDisplayColumn(m_grid->horizontalHeader()->visualIndex(column)))
        copy({ f->index() });
}

void ResultCopy::copyResult()
{
    QList<int> fields;
    for (int i = 0, n = m_grid->columnCountShown(); i < n; ++i)
        fields << m_grid->fieldAtDisplayColumn(i)->index();
    copy(fields);
}

void ResultCopy::copy(const QList<int>& fields)
{
    TDataSet* ds = m_grid->dataSet();
    if (!ds || !ds->active() || fields.isEmpty())
        return;
    RowsToWrite rows;
    if (!rows.ask(m_window, ds, QStringLiteral("Copier")))
        return;
    const qsizetype held = ds->store() ? ds->store()->bytesHeld() : 0;
    const qsizetype ceiling = m_ceiling > 0 ? m_ceiling : qMax<qsizetype>(0, ResultStore::defaultCeiling() - held);
    ClipboardTable table;
    {
        // "Annuler" leaves the clipboard as it was, and says nothing: the user asked for it.
        WorkProgress progress(m_window, QStringLiteral("Copie"), QStringLiteral("Copie du résultat..."),
            [](qint64 done, qint64 total) { return QStringLiteral("Enregistrement %1 sur %2").arg(done).arg(total); });
        bool stopped = false;
        table = ClipboardTable::of(*ds, fields, ceiling, [&](qsizetype done, qsizetype total) {
            stopped = !progress.report(done, total);
            return !stopped;
        });
        if (stopped)
            return;
    }
    auto* mime = new QMimeData;
    mime->setText(table.text);
    mime->setHtml(table.html);
    QGuiApplication::clipboard()->setMimeData(mime);
}
