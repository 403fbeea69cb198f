#include "app/ResultFind.h"

#include "app/WorkProgress.h"
#include "data/CellSearch.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"

#include <QHeaderView>
#include <QShortcut>

ResultFind::ResultFind(QWidget* window, TDBGrid* grid)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
{
    using ErrorGuard::connectGuarded;
    const auto add = [this, window](QKeyCombination key, void (ResultFind::*handler)()) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        connectGuarded(shortcut, &QShortcut::activated, this, handler);
    };
    add(Qt::CTRL | Qt::Key_F, &ResultFind::findText);
    add(QKeyCombination(Qt::Key_F3), &ResultFind::findNext);
    add(Qt::SHIFT | Qt::Key_F3, &ResultFind::findPrevious);
}

void ResultFind::findText()
{
    const std::optional<Dialogs::Find> asked = Dialogs::instance().find(m_window, m_last);
    if (!asked || asked->text.isEmpty())
        return;
    m_last = *asked;
    find(false);
}

void ResultFind::find(bool backward)
{
    if (m_last.text.isEmpty()) {
        findText();
        return;
    }
    const TDataSet* ds = m_grid->dataSet();
    QList<int> fields;
    for (int i = 0, n = m_grid->columnCountShown(); i < n; ++i)
        fields << m_grid->fieldAtDisplayColumn(i)->index();
    const QModelIndex current = m_grid->currentIndex();
    const CellSearch::Place from { current.isValid() ? current.row() : -1,
        current.isValid() ? m_grid->horizontalHeader()->visualIndex(current.column()) : -1 };
    const CellSearch search(m_last.text, m_last.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    std::optional<CellSearch::Place> found;
    {
        WorkProgress progress(m_window, QStringLiteral("Rechercher"), QStringLiteral("Recherche du texte..."),
            [](qint64 done, qint64 total) { return QStringLiteral("Ligne %1 sur %2").arg(done).arg(total); });
        bool stopped = false;
        if (ds && ds->active())
            found = search.find(*ds, fields, from, backward, [&](qsizetype done, qsizetype total) {
                stopped = !progress.report(done, total);
                return !stopped;
            });
        if (stopped)
            return;
    }
    if (found) {
        const QModelIndex cell
            = m_grid->model()->index(int(found->row), m_grid->horizontalHeader()->logicalIndex(found->column));
        m_grid->setCurrentIndex(cell);
        m_grid->scrollTo(cell);
        return;
    }
    Dialogs::MessageBox box;
    box.caption = QStringLiteral("Rechercher");
    box.text = QStringLiteral("Texte introuvable : « %1 »").arg(m_last.text);
    box.icon = Dialogs::Icon::Information;
    box.buttons = { QStringLiteral("OK") };
    Dialogs::instance().messageBox(m_window, box);
}
