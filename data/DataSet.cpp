#include "data/DataSet.h"

#include "data/RowOrder.h"
#include "engine/Databases.h"
#include "platform/Exceptions.h"

#include <algorithm>

TDataSet::TDataSet(QObject* owner, const QString& name)
    : TComponent(owner, name)
{
}

TDataSet::~TDataSet() = default;

void TDataSet::close()
{
    if (m_state == dsInactive)
        return;
    m_fields.clear();
    m_result = QueryResult {};
    dropOrder();
    m_row = -1;
    m_eof = true;
    m_state = dsInactive;
    emit layoutChanged();
    emit stateChanged();
}

void TDataSet::setResult(QueryResult result)
{
    m_forms = TextForms::current();
    m_result = std::move(result);
    dropOrder();
    m_fields.clear();
    m_fields.reserve(m_result.columns.size());
    for (size_t i = 0; i < m_result.columns.size(); ++i)
        m_fields.push_back(std::make_unique<TField>(this, int(i), m_result.columns[i]));
    m_state = dsBrowse;
    m_row = recordCount() > 0 ? 0 : -1;
    m_eof = recordCount() == 0;
    emit layoutChanged();
    emit stateChanged();
    emit currentChanged();
}

void TDataSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

std::shared_ptr<Connection> TDataSet::connection() const
{
    return Databases::connect(m_databaseName);
}

void TDataSet::setFieldValue(int, const CellRef&)
{
    throw EDatabaseError(readOnlyMessage());
}

TField* TDataSet::FindField(const QString& name) const
{
    for (const auto& f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
    if (TField* f = FindField(name))
        return f;
    throw EDatabaseError(QStringLiteral("%1 : Champ '%2' non trouvé").arg(objectName(), name));
}

qsizetype TDataSet::recordCount() const
{
    return m_view == &m_shown ? qsizetype(m_shown.size()) : allRecordCount();
}

qsizetype TDataSet::allRecordCount() const
{
    return m_result.rows ? m_result.rows->rowCount() : 0;
}

void TDataSet::first()
{
    if (!active())
        return;
    m_row = recordCount() > 0 ? 0 : -1;
    m_eof = recordCount() == 0;
    emit currentChanged();
}

void TDataSet::next()
{
    if (!active() || m_eof)
        return;
    if (m_row + 1 < recordCount()) {
        ++m_row;
        emit currentChanged();
    } else {
        m_eof = true;
    }
}

void TDataSet::last()
{
    if (!active())
        return;
    m_row = recordCount() - 1;
    m_eof = false;
    emit currentChanged();
}

void TDataSet::moveTo(qsizetype row)
{
    if (!active() || row < 0 || row >= recordCount())
        return;
    m_eof = false;
    if (m_row == row)
        return;
    m_row = row;
    emit currentChanged();
}

CellRef TDataSet::currentCell(int column) const
{
    if (m_row < 0 || !m_result.rows)
        return {};
    return m_result.rows->cell(storeRow(m_row), column);
}

CellRef TDataSet::cellAt(qsizetype row, int column) const
{
    if (row < 0 || !m_result.rows || row >= recordCount())
        return {};
    return m_result.rows->cell(storeRow(row), column);
}

void TDataSet::dropOrder()
{
    m_order = {};
    m_filters = {};
    m_shown = {};
    m_view = nullptr;
    m_showAll = false;
    m_sortField = -1;
    m_sortOrder = Qt::AscendingOrder;
}

bool TDataSet::sortBy(int field, Qt::SortOrder order, const ParallelParts::Progress& progress)
{
    if (!active() || !m_result.rows)
        return true;
    if (editing())
        throw EDatabaseError(QStringLiteral("Ne peut trier les données pendant la modification d'un enregistrement"));
    if (field < 0 || field >= fieldCount()) {
        m_order = {};
        m_sortField = -1;
        m_sortOrder = Qt::AscendingOrder;
    } else {
        const TField* f = m_fields[size_t(field)].get();
        std::optional<std::vector<qsizetype>> sorted
            = RowOrder::sorted(*m_result.rows, field, f->dataType(), m_forms, order, progress);
        if (!sorted)
            return false;
        m_order = std::move(*sorted);
        m_sortField = field;
        m_sortOrder = order;
    }
    showRows(m_showAll);
    emit orderChanged();
    emit currentChanged();
    return true;
}

bool TDataSet::filterBy(int field, const RowFilter::Condition& condition, const ParallelParts::Progress& progress)
{
    if (!active() || !m_result.rows || field < 0 || field >= fieldCount())
        return true;
    if (editing())
        throw EDatabaseError(QStringLiteral("Ne peut filtrer les données pendant la modification d'un enregistrement"));
    std::optional<std::vector<quint8>> passes
        = RowFilter::passing(*m_result.rows, *m_fields[size_t(field)], condition, progress);
    if (!passes)
        return false;
    const auto same = std::find_if(m_filters.begin(), m_filters.end(), [field](const FieldFilter& f) { return f.field == field; });
    if (same != m_filters.end())
        *same = FieldFilter { field, condition, std::move(*passes) };
    else
        m_filters.push_back(FieldFilter { field, condition, std::move(*passes) });
    showRows(m_showAll);
    emit rowsChanged();
    emit currentChanged();
    return true;
}

void TDataSet::removeFilters()
{
    if (m_filters.empty())
        return;
    if (editing())
        throw EDatabaseError(QStringLiteral("Ne peut filtrer les données pendant la modification d'un enregistrement"));
    m_filters = {};
    showRows(m_showAll);
    emit rowsChanged();
    emit currentChanged();
}

const RowFilter::Condition* TDataSet::filterOf(int field) const
{
    for (const FieldFilter& f : m_filters)
        if (f.field == field)
            return &f.condition;
    return nullptr;
}

void TDataSet::showRows(bool showAll)
{
    const qsizetype current = m_row >= 0 && m_row < recordCount() ? storeRow(m_row) : -1;
    const qsizetype rows = allRecordCount();
    m_shown.clear();
    if (!m_filters.empty()) {
        for (qsizetype i = 0; i < rows; ++i) {
            const qsizetype row = m_order.empty() ? i : m_order[size_t(i)];
            if (std::all_of(m_filters.begin(), m_filters.end(), [row](const FieldFilter& f) { return f.passes[size_t(row)] != 0; }))
                m_shown.push_back(row);
        }
        m_shown.shrink_to_fit();
    }
    m_showAll = showAll;
    m_view = !m_filters.empty() && !showAll ? &m_shown : m_order.empty() ? nullptr : &m_order;
    qsizetype place = -1;
    if (current >= 0 && !m_view)
        place = current;
    else if (current >= 0)
        place = std::find(m_view->begin(), m_view->end(), current) - m_view->begin();
    const bool kept = place >= 0 && place < recordCount();
    if (!kept)
        place = recordCount() > 0 ? 0 : -1;
    m_row = place;
    m_eof = place < 0 || (m_eof && kept);
}

TDataSet::AllRows::AllRows(TDataSet& dataSet)
    : m_dataSet(&dataSet)
{
    if (!dataSet.filtered())
        return;
    dataSet.showRows(true);
    emit dataSet.rowsChanged();
    emit dataSet.currentChanged();
}

TDataSet::AllRows::~AllRows()
{
    if (!m_dataSet || !m_dataSet->m_showAll)
        return;
    m_dataSet->showRows(false);
    emit m_dataSet->rowsChanged();
    emit m_dataSet->currentChanged();
}
