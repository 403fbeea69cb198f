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
    if (row < 0 || !m_result.rows || row >= m_result.rows->rowCount())
        return {};
    return m_result.rows->cell(storeRow(row), column);
}

void TDataSet::dropOrder()
{
    m_order = {};
    m_sortField = -1;
    m_sortOrder = Qt::AscendingOrder;
}

bool TDataSet::sortBy(int field, Qt::SortOrder order, const ParallelParts::Progress& progress)
{
    if (!active() || !m_result.rows)
        return true;
    if (editing())
        throw EDatabaseError(QStringLiteral("Ne peut trier les données pendant la modification d'un enregistrement"));
    const qsizetype current = m_row >= 0 ? storeRow(m_row) : -1;
    if (field < 0 || field >= fieldCount()) {
        dropOrder();
        m_row = current;
    } else {
        const TField* f = m_fields[size_t(field)].get();
        std::optional<std::vector<qsizetype>> sorted
            = RowOrder::sorted(*m_result.rows, field, f->dataType(), m_forms, order, progress);
        if (!sorted)
            return false;
        if (current >= 0)
            m_row = std::find(sorted->begin(), sorted->end(), current) - sorted->begin();
        m_order = std::move(*sorted);
        m_sortField = field;
        m_sortOrder = order;
    }
    emit orderChanged();
    emit currentChanged();
    return true;
}
