#include "data/RowOrder.h"

#include "data/IsoDateTime.h"

#include <QCollator>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace
{

// What a value is, in the order the groups come in.
enum Group : quint32 { Null, Number, Moment, Text, Binary };

struct Key {
    long double value; // the number, the moment or the rank among the group's values
    Group group;
    qsizetype row;
};

bool isNumberType(TFieldType t)
{
    switch (t) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
        return true;
    default:
        return false;
    }
}

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

// A text that is wholly a decimal number, blanks around it aside.
bool readNumber(std::string_view s, long double& out)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || error != std::errc() || end != s.data() + s.size())
        return false;
    out = v;
    return true;
}

// Milliseconds on one time line: dates by their day number, times of day within it.
bool readMoment(std::string_view s, TFieldType type, long double& out)
{
    if (type == ftTime) {
        const auto time = IsoDateTime::time(s);
        if (time)
            out = time->msecsSinceStartOfDay();
        return bool(time);
    }
    const auto stamp = IsoDateTime::stamp(s);
    if (stamp)
        out = (long double)(stamp->date.toDate().toJulianDay()) * 86400000.0L
            + (stamp->time ? stamp->time->msecsSinceStartOfDay() : 0);
    return bool(stamp);
}

// Ranks the distinct texts (or binary contents) of a column, so that rows compare by a
// number. Values seen once each are compared once each, whatever their repeats.
class Ranks
{
public:
    Ranks(const TextForms& forms, TFieldType type)
        : m_forms(forms)
        , m_type(type)
        , m_collator(forms.locale)
    {
    }

    quint32 idOf(const CellRef& c)
    {
        const auto [it, added] = m_ids.try_emplace(bytesOf(c), quint32(m_cells.size()));
        if (added)
            m_cells.push_back(c);
        return it->second;
    }

    // The rank of each id, equal values sharing one.
    std::vector<quint32> ranks(Group group) const
    {
        std::vector<quint32> order(m_cells.size());
        std::iota(order.begin(), order.end(), 0u);
        std::vector<quint32> rank(m_cells.size());
        if (group == Binary) {
            const auto less = [this](quint32 a, quint32 b) { return bytesOf(m_cells[a]) < bytesOf(m_cells[b]); };
            std::sort(order.begin(), order.end(), less);
            for (size_t i = 1; i < order.size(); ++i)
                rank[order[i]] = rank[order[i - 1]] + (less(order[i - 1], order[i]) ? 1 : 0);
            return rank;
        }
        std::vector<QString> texts;
        texts.reserve(m_cells.size());
        for (const CellRef& c : m_cells)
            texts.push_back(
                m_forms.textStart(c, m_type, RowOrder::kCollatedCharacters).left(RowOrder::kCollatedCharacters));
#ifdef Q_OS_WIN
        // Qt compares the system's sort keys as UTF-16 text, not byte by byte, which
        // misorders them (digits after letters): the texts are compared instead.
        const auto compare = [this, &texts](quint32 a, quint32 b) { return m_collator.compare(texts[a], texts[b]); };
#else
        std::vector<QCollatorSortKey> keys;
        keys.reserve(texts.size());
        for (const QString& text : texts)
            keys.push_back(m_collator.sortKey(text));
        const auto compare = [&keys](quint32 a, quint32 b) { return keys[a].compare(keys[b]); };
#endif
        std::sort(order.begin(), order.end(), [&compare](quint32 a, quint32 b) { return compare(a, b) < 0; });
        for (size_t i = 1; i < order.size(); ++i)
            rank[order[i]] = rank[order[i - 1]] + (compare(order[i - 1], order[i]) < 0 ? 1 : 0);
        return rank;
    }

private:
    const TextForms& m_forms;
    TFieldType m_type;
    QCollator m_collator;
    std::unordered_map<std::string_view, quint32> m_ids;
    std::vector<CellRef> m_cells;
};

} // namespace

std::vector<qsizetype> RowOrder::sorted(
    const ResultStore& store, int column, TFieldType type, const TextForms& forms, Qt::SortOrder order)
{
    const qsizetype rows = store.rowCount();
    const bool binaryType = isBlobType(type) && !isMemoType(type);
    const bool momentType = type == ftDate || type == ftTime || type == ftDateTime;
    Ranks texts(forms, type);
    Ranks binaries(forms, type);
    std::vector<Key> keys(size_t(rows), Key { 0, Null, 0 });
    for (qsizetype row = 0; row < rows; ++row) {
        Key& k = keys[size_t(row)];
        k.row = row;
        const CellRef c = store.cell(row, column);
        if (c.cls == CellClass::Null)
            continue;
        if (c.cls == CellClass::Integer || c.cls == CellClass::Float) {
            k.group = Number;
            k.value = c.cls == CellClass::Integer ? (long double)(c.integer) : (long double)(c.real);
            // Not a number compares with nothing: it comes first among the numbers.
            if (std::isnan(k.value))
                k.value = -std::numeric_limits<long double>::infinity();
        } else if (c.cls == CellClass::Blob || binaryType) {
            k.group = Binary;
            k.value = binaries.idOf(c);
        } else if (isNumberType(type) && readNumber(bytesOf(c), k.value)) {
            k.group = Number;
        } else if (momentType && readMoment(bytesOf(c), type, k.value)) {
            k.group = Moment;
        } else {
            k.group = Text;
            k.value = texts.idOf(c);
        }
    }
    const std::vector<quint32> textRanks = texts.ranks(Text);
    const std::vector<quint32> binaryRanks = binaries.ranks(Binary);
    for (Key& k : keys) {
        if (k.group == Text)
            k.value = textRanks[size_t(k.value)];
        else if (k.group == Binary)
            k.value = binaryRanks[size_t(k.value)];
    }
    const auto ascending
        = [](const Key& a, const Key& b) { return a.group != b.group ? a.group < b.group : a.value < b.value; };
    if (order == Qt::AscendingOrder)
        std::stable_sort(keys.begin(), keys.end(), ascending);
    else
        std::stable_sort(
            keys.begin(), keys.end(), [&ascending](const Key& a, const Key& b) { return ascending(b, a); });
    std::vector<qsizetype> result(static_cast<size_t>(rows));
    for (qsizetype i = 0; i < rows; ++i)
        result[size_t(i)] = keys[size_t(i)].row;
    return result;
}
