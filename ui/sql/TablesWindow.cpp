#include "ui/sql/TablesWindow.h"

#include "ui/sql/CatalogueModel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

TablesWindow::TablesWindow(QWidget* parent)
    : QDialog(parent)
    , m_model(new CatalogueModel(this))
    , m_filter(new QLineEdit(this))
    , m_list(new QTreeView(this))
    , m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("TablesWindow"));
    setWindowTitle(QStringLiteral("Tables"));
    m_filter->setObjectName(QStringLiteral("TablesFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filtrer les tables et les colonnes"));
    m_filter->setAccessibleName(QStringLiteral("Filtre des tables"));
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setFilter(text);
        listChanged();
    });

    m_list->setObjectName(QStringLiteral("TablesList"));
    m_list->setAccessibleName(QStringLiteral("Tables et colonnes"));
    m_list->setModel(m_model);
    // Every line is one line of text: the view need not measure each one.
    m_list->setUniformRowHeights(true);
    m_list->setExpandsOnDoubleClick(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->installEventFilter(this);
    connect(m_list, &QTreeView::doubleClicked, this, &TablesWindow::choose);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    m_list->header()->resizeSection(CatalogueModel::NameColumn, 30 * digit);
    m_list->header()->resizeSection(CatalogueModel::TypeColumn, 18 * digit);

    m_status->setObjectName(QStringLiteral("TablesStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* reload = buttons->addButton(QStringLiteral("Actualiser"), QDialogButtonBox::ActionRole);
    reload->setObjectName(QStringLiteral("TablesReload"));
    reload->setAutoDefault(false);
    QPushButton* close = buttons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(reload, &QPushButton::clicked, this, &TablesWindow::reloadAsked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(72 * digit, 30 * fontMetrics().height());
    listChanged();
}

void TablesWindow::setNames(const SqlNames& names, const QString& error)
{
    m_error = error;
    m_model->setNames(names);
    listChanged();
}

QString TablesWindow::countText(int count, int all)
{
    if (all == 0)
        return QStringLiteral("Aucune table");
    const QString tables = all == 1 ? QStringLiteral("1 table") : QStringLiteral("%1 tables").arg(all);
    if (count == all)
        return tables;
    return QStringLiteral("%1 sur %2").arg(count).arg(tables);
}

void TablesWindow::listChanged()
{
    if (m_model->grouped())
        m_list->expandToDepth(0);
    const QModelIndex first = m_model->firstTable();
    m_list->setCurrentIndex(first);
    if (first.isValid())
        m_list->scrollTo(first);
    m_status->setText(m_error.isEmpty() ? countText(m_model->shownTables(), m_model->allTables())
                                        : QStringLiteral("Liste des tables illisible : ") + m_error.left(500));
}

void TablesWindow::choose(const QModelIndex& index)
{
    const CatalogueModel::Kind kind = m_model->kind(index);
    if (kind == CatalogueModel::Kind::Schema) {
        m_list->setExpanded(index, !m_list->isExpanded(index));
        return;
    }
    if (kind == CatalogueModel::Kind::None)
        return;
    const QString name = m_model->written(index);
    if (name.isEmpty()) {
        m_status->setText(QStringLiteral("Ce nom contient un saut de ligne : la zone de saisie, d'une seule ligne, "
                                         "ne peut pas l'écrire."));
        return;
    }
    if (kind == CatalogueModel::Kind::Table)
        emit statementChosen(QStringLiteral("SELECT * FROM ") + name);
    else
        emit nameChosen(name);
}

bool TablesWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose(m_list->currentIndex().siblingAtColumn(0));
            return true;
        }
        if (watched == m_filter && key == Qt::Key_Down) {
            m_list->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
