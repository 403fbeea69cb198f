#include "ui/sql/CatalogueModel.h"

#include "ui/sql/SqlTokens.h"

#include <QFont>
#include <algorithm>

namespace
{

// An index's internal id says what its parent is: 0 for the first level, a group's
// number for a table under its schema, a table's number for a column.
constexpr quintptr kInGroup = 1;
constexpr quintptr kInTable = 2;
constexpr int kShownLength = 200;
constexpr int kTipLength = 2000;

quintptr idOf(int number, quintptr kind)
{
    return (quintptr(number) << 2) | kind;
}

bool holdsLineBreak(const QString& name)
{
    return name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r'));
}

int compareNames(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c : a.compare(b);
}

} // namespace

CatalogueModel::CatalogueModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    rebuild();
}

void CatalogueModel::setNames(SqlNames names)
{
    beginResetModel();
    m_names = std::move(names);
    const std::vector<CatalogueTable>& tables = m_names.tables;
    m_grouped
        = std::any_of(tables.cbegin(), tables.cend(), [](const CatalogueTable& t) { return !t.schema.isEmpty(); });
    m_sorted.resize(tables.size());
    for (size_t i = 0; i < tables.size(); ++i)
        m_sorted[i] = int(i);
    std::sort(m_sorted.begin(), m_sorted.end(), [&tables](int a, int b) {
        const int bySchema = compareNames(tables[size_t(a)].schema, tables[size_t(b)].schema);
        return bySchema != 0 ? bySchema < 0 : compareNames(tables[size_t(a)].name, tables[size_t(b)].name) < 0;
    });
    rebuild();
    endResetModel();
}

void CatalogueModel::setFilter(const QString& text)
{
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    rebuild();
    endResetModel();
}

bool CatalogueModel::matches(const CatalogueTable& table) const
{
    if (m_filter.isEmpty() || table.name.contains(m_filter, Qt::CaseInsensitive))
        return true;
    return std::any_of(table.columns.cbegin(), table.columns.cend(),
        [this](const CatalogueColumn& c) { return c.name.contains(m_filter, Qt::CaseInsensitive); });
}

void CatalogueModel::rebuild()
{
    m_groups.clear();
    m_groupOf.assign(m_names.tables.size(), -1);
    m_rowOf.assign(m_names.tables.size(), -1);
    m_shown = 0;
    if (!m_grouped)
        m_groups.push_back(Group {});
    for (const int t : m_sorted) {
        const CatalogueTable& table = m_names.tables[size_t(t)];
        if (!matches(table))
            continue;
        if (m_grouped && (m_groups.empty() || m_groups.back().schema != table.schema))
            m_groups.push_back(Group { table.schema, {} });
        Group& group = m_groups.back();
        m_groupOf[size_t(t)] = int(m_groups.size()) - 1;
        m_rowOf[size_t(t)] = int(group.tables.size());
        group.tables.push_back(t);
        ++m_shown;
    }
}

CatalogueModel::Kind CatalogueModel::kind(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return Kind::None;
    const quintptr id = index.internalId();
    if (id == 0)
        return m_grouped ? Kind::Schema : Kind::Table;
    return (id & 3) == kInGroup ? Kind::Table : Kind::Column;
}

int CatalogueModel::tableIndex(const QModelIndex& index) const
{
    const quintptr id = index.internalId();
    switch (kind(index)) {
    case Kind::Table:
        return m_groups[id == 0 ? 0 : size_t(id >> 2)].tables[size_t(index.row())];
    case Kind::Column:
        return int(id >> 2);
    default:
        return -1;
    }
}

const CatalogueTable* CatalogueModel::table(const QModelIndex& index) const
{
    const int t = tableIndex(index);
    return t < 0 ? nullptr : &m_names.tables[size_t(t)];
}

QString CatalogueModel::written(const QModelIndex& index) const
{
    const CatalogueTable* t = table(index);
    if (!t)
        return {};
    if (kind(index) == Kind::Column) {
        const QString& name = t->columns[size_t(index.row())].name;
        return holdsLineBreak(name) ? QString() : sqlName(name, m_names.foldsToLower);
    }
    if (holdsLineBreak(t->name) || (!t->reachedByName && holdsLineBreak(t->schema)))
        return {};
    const QString name = sqlName(t->name, m_names.foldsToLower);
    return t->reachedByName ? name : sqlName(t->schema, m_names.foldsToLower) + QLatin1Char('.') + name;
}

QModelIndex CatalogueModel::firstTable() const
{
    if (m_shown == 0)
        return {};
    return m_grouped ? index(0, 0, index(0, 0)) : index(0, 0);
}

QModelIndex CatalogueModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent))
        return {};
    switch (kind(parent)) {
    case Kind::None:
        return createIndex(row, column, quintptr(0));
    case Kind::Schema:
        return createIndex(row, column, idOf(parent.row(), kInGroup));
    case Kind::Table:
        return createIndex(row, column, idOf(tableIndex(parent), kInTable));
    case Kind::Column:
        break;
    }
    return {};
}

QModelIndex CatalogueModel::parent(const QModelIndex& child) const
{
    const quintptr id = child.internalId();
    switch (kind(child)) {
    case Kind::Table:
        return id == 0 ? QModelIndex() : createIndex(int(id >> 2), 0, quintptr(0));
    case Kind::Column: {
        const size_t t = size_t(id >> 2);
        return createIndex(m_rowOf[t], 0, m_grouped ? idOf(m_groupOf[t], kInGroup) : quintptr(0));
    }
    default:
        return {};
    }
}

int CatalogueModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    switch (kind(parent)) {
    case Kind::None:
        return m_grouped ? int(m_groups.size()) : int(m_groups.front().tables.size());
    case Kind::Schema:
        return int(m_groups[size_t(parent.row())].tables.size());
    case Kind::Table:
        return int(table(parent)->columns.size());
    case Kind::Column:
        break;
    }
    return 0;
}

int CatalogueModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QString CatalogueModel::shown(const QString& name)
{
    // Never half of a character that takes two UTF-16 units.
    QString line = name.left(
        name.size() > kShownLength && name.at(kShownLength - 1).isHighSurrogate() ? kShownLength - 1 : kShownLength);
    line.replace(QStringLiteral("\r\n"), QStringLiteral("↵")).replace(u'\n', u'↵').replace(u'\r', u'↵');
    return name.size() > kShownLength ? line + QChar(0x2026) : line;
}

QVariant CatalogueModel::data(const QModelIndex& index, int role) const
{
    const Kind k = kind(index);
    if (k == Kind::None)
        return {};
    const int column = index.column();
    if (k == Kind::Schema) {
        const QString& schema = m_groups[size_t(index.row())].schema;
        if (column == NameColumn && role == Qt::DisplayRole)
            return shown(schema);
        if (column == NameColumn && role == Qt::ToolTipRole)
            return schema.left(kTipLength);
        if (column == TypeColumn && role == Qt::DisplayRole)
            return QStringLiteral("schéma");
        return {};
    }
    const CatalogueTable& t = *table(index);
    if (k == Kind::Table) {
        if (role == Qt::DisplayRole && column == NameColumn)
            return shown(t.name);
        if (role == Qt::DisplayRole && column == TypeColumn)
            return t.view ? QStringLiteral("vue") : QStringLiteral("table");
        if (role == Qt::ToolTipRole && column == NameColumn)
            return m_grouped ? (t.schema + QLatin1Char('.') + t.name).left(kTipLength) : t.name.left(kTipLength);
        return {};
    }
    const CatalogueColumn& c = t.columns[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (column) {
        case NameColumn:
            return shown(c.name);
        case TypeColumn:
            return shown(c.type);
        case KeyColumn: {
            if (c.keyPosition <= 0)
                return QString();
            const int n = t.keyColumns();
            return n == 1 ? QStringLiteral("oui") : QStringLiteral("%1 sur %2").arg(c.keyPosition).arg(n);
        }
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && column == NameColumn)
        return c.name.left(kTipLength);
    if (role == Qt::FontRole && c.keyPosition > 0) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

QVariant CatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Nom");
    case TypeColumn:
        return QStringLiteral("Type");
    case KeyColumn:
        return QStringLiteral("Clé primaire");
    default:
        return {};
    }
}
