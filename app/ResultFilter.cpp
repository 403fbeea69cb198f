#include "app/ResultFilter.h"

#include "app/ResultCopy.h"
#include "app/WorkProgress.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>

ResultFilter::ResultFilter(QWidget* window, TDBGrid* grid, ResultCopy* copy)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
{
    QMenu* menu = copy->PopupEnTetes;
    menu->addSeparator();
    PopupFiltrer = menu->addAction(QStringLiteral("Filtrer…"));
    PopupFiltrer->setObjectName(QStringLiteral("PopupFiltrer"));
    PopupRetirerFiltres = menu->addAction(QStringLiteral("Retirer les filtres"));
    PopupRetirerFiltres->setObjectName(QStringLiteral("PopupRetirerFiltres"));
    connect(menu, &QMenu::aboutToShow, this, [this, copy] {
        const TDataSet* ds = m_grid->dataSet();
        PopupFiltrer->setEnabled(copy->menuColumn() >= 0 && ds && ds->active());
        PopupRetirerFiltres->setEnabled(ds && ds->filtered());
    });
    using ErrorGuard::connectGuarded;
    connectGuarded(PopupFiltrer, &QAction::triggered, this,
        [copy](ResultFilter* self) { self->filterColumn(copy->menuColumn()); });
    connectGuarded(PopupRetirerFiltres, &QAction::triggered, this, &ResultFilter::removeFilters);
}

void ResultFilter::filterColumn(int column)
{
    TDataSet* ds = m_grid->dataSet();
    const TField* f = m_grid->fieldAtDisplayColumn(m_grid->horizontalHeader()->visualIndex(column));
    if (!ds || !ds->active() || !f)
        return;
    Dialogs::FilterRequest request;
    request.column = f->fieldName();
    request.ordered = RowFilter::ordered(f->dataType());
    if (const RowFilter::Condition* current = ds->filterOf(f->index()))
        request.condition = *current;
    request.problem = [f, ds](const RowFilter::Condition& c) {
        return RowFilter::problem(c, f->dataType(), ds->textForms());
    };
    const std::optional<RowFilter::Condition> chosen = Dialogs::instance().filter(m_window, request);
    if (!chosen)
        return;
    // "Annuler" keeps the rows shown, and says nothing: the user asked for it.
    WorkProgress progress(m_window, QStringLiteral("Filtre"), QStringLiteral("Filtrage des lignes..."));
    (void)ds->filterBy(f->index(), *chosen, [&progress] { return progress.report(0); });
}

void ResultFilter::removeFilters()
{
    if (TDataSet* ds = m_grid->dataSet())
        ds->removeFilters();
}

bool RowsToWrite::ask(QWidget* window, TDataSet* data, const QString& verb)
{
    if (!data || !data->filtered())
        return true;
    Dialogs::MessageBox box;
    box.caption = QStringLiteral("Résultat filtré");
    box.text = QStringLiteral("Le résultat est filtré : %1.\n%2 les enregistrements affichés ou tous les enregistrements ?")
                   .arg(RowFilter::shownOf(data->recordCount(), data->allRecordCount()), verb);
    box.icon = Dialogs::Icon::Question;
    box.buttons = { QStringLiteral("Les enregistrements affichés"), QStringLiteral("Tous les enregistrements"),
        QStringLiteral("Annuler") };
    box.defaultButton = 0;
    box.escapeButton = 2;
    const int answer = Dialogs::instance().messageBox(window, box);
    if (answer == 1)
        m_all.emplace(*data);
    return answer == 0 || answer == 1;
}
