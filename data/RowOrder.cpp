#include "data/RowOrder.h"

#include "data/IsoDateTime.h"
#include "data/NumberOrder.h"

#include <QCollator>
#include <algorithm>
#include <bit>
#include <numeric>
#include <optional>
#include <string_view>

namespace
{

// Rows read between two calls of progress.
constexpr qsizetype kRowsPerReport = 4096;

// What a value is, in the order the groups come in.
enum Group : quint32 { Null, Number, NotANumber, Moment, Text, Binary };

struct Key {
    double value; // the number rounded, the moment or the rank among the group's values
    Group group;
    quint32 inexact; // a number whose value is not exactly `value`: ties are read again
    qsizetype row;
};

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

// Values a part of a sort takes at least: below it, a thread costs more than it saves.
constexpr qsizetype kLeastPart = 16384;

// Sorts v by less in a part a core, then merges the parts in order, so that a stable
// sort of each part gives a stable sort of the whole. False when progress asked to
// stop, v then in no particular order.
template <class T, class Less>
bool sortInParts(std::vector<T>& v, Less less, const ParallelParts::Progress& progress, bool stable = false)
{
    const int parts = ParallelParts::partsFor(qsizetype(v.size()), kLeastPart);
    const auto bound = [&v, parts](int part) { return v.begin() + qsizetype(v.size() * size_t(part) / size_t(parts)); };
    const bool sorted = ParallelParts::run(
        parts,
        [&](int part, const std::atomic<bool>&) {
            if (stable)
                std::stable_sort(bound(part), bound(part + 1), less);
            else
                std::sort(bound(part), bound(part + 1), less);
        },
        progress);
    if (!sorted)
        return false;
    for (int width = 1; width < parts; width *= 2)
        for (int part = 0; part + width < parts; part += 2 * width)
            std::inplace_merge(bound(part), bound(part + width), bound(std::min(part + 2 * width, parts)), less);
    return true;
}

// The rank of each id from the ids in order: equal neighbours share one.
template <class Less> std::vector<quint32> ranksOf(const std::vector<quint32>& order, Less less)
{
    std::vector<quint32> rank(order.size());
    for (size_t i = 1; i < order.size(); ++i)
        rank[order[i]] = rank[order[i - 1]] + (less(order[i - 1], order[i]) ? 1 : 0);
    return rank;
}

// The rows in order when every value has a whole rank (nulls, texts, binary contents):
// placed by counting, in one pass, stable in either direction, where a sort would
// compare them a million times over. texts and binaries: how many ranks each has, at most.
std::vector<qsizetype> countedOrder(const std::vector<Key>& keys, size_t texts, size_t binaries, Qt::SortOrder order)
{
    const size_t buckets = 1 + texts + binaries;
    const auto bucketOf = [&](const Key& k) {
        const size_t b = k.group == Null ? 0 : k.group == Text ? 1 + size_t(k.value) : 1 + texts + size_t(k.value);
        return order == Qt::AscendingOrder ? b : buckets - 1 - b;
    };
    std::vector<qsizetype> next(buckets + 1, 0);
    for (const Key& k : keys)
        ++next[bucketOf(k) + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    std::vector<qsizetype> rows(keys.size());
    for (const Key& k : keys)
        rows[size_t(next[bucketOf(k)]++)] = k.row;
    return rows;
}

// Ranks the distinct texts (or binary contents) of a column, so that rows compare by a
// number. Values seen once each are compared once each, whatever their repeats.
class Ranks
{
public:
    // rows: how many values may come at most, room for which is made at the first.
    Ranks(const TextForms& forms, TFieldType type, qsizetype rows)
        : m_forms(forms)
        , m_type(type)
        , m_rows(rows)
    {
    }

    quint32 idOf(const CellRef& c)
    {
        // Open addressing in a table at most half full: a million values, mostly
        // distinct, cost no allocation each, as the nodes of a std::unordered_map did.
        if (m_slots.empty()) {
            m_slots.assign(std::bit_ceil(size_t(std::max<qsizetype>(m_rows, 8)) * 2), 0);
            m_mask = m_slots.size() - 1;
        }
        const std::string_view value = bytesOf(c);
        for (size_t i = std::hash<std::string_view> {}(value)&m_mask;; i = (i + 1) & m_mask) {
            const quint32 slot = m_slots[i];
            if (slot == 0) {
                m_cells.push_back(c);
                m_slots[i] = quint32(m_cells.size());
                return quint32(m_cells.size() - 1);
            }
            if (bytesOf(m_cells[slot - 1]) == value)
                return slot - 1;
        }
    }

    // The rank of each id, equal values sharing one; nothing when progress asked to stop.
    std::optional<std::vector<quint32>> ranks(Group group, const ParallelParts::Progress& progress) const
    {
        if (m_cells.empty())
            return std::vector<quint32>();
        std::vector<quint32> order(m_cells.size());
        std::iota(order.begin(), order.end(), 0u);
        if (group == Binary) {
            const auto less = [this](quint32 a, quint32 b) { return bytesOf(m_cells[a]) < bytesOf(m_cells[b]); };
            if (!sortInParts(order, less, progress))
                return std::nullopt;
            return ranksOf(order, less);
        }
        const int parts = ParallelParts::partsFor(qsizetype(m_cells.size()), kLeastPart);
#ifdef Q_OS_WIN
        // Qt compares Windows' sort keys as UTF-16 text, not byte by byte, which misorders
        // them (digits after letters): the texts themselves are compared, by one collator
        // made ready before the cores share it (its comparisons then only read it).
        std::vector<QString> keys(m_cells.size());
        const auto make = [this](QCollator&, const CellRef& c) { return collated(c); };
        QCollator collator(m_forms.locale);
        collator.compare(QStringLiteral("a"), QStringLiteral("b"));
        const auto less = [&keys, &collator](quint32 a, quint32 b) { return collator.compare(keys[a], keys[b]) < 0; };
#else
        std::vector<std::optional<QCollatorSortKey>> keys(m_cells.size());
        const auto make = [this](QCollator& collator, const CellRef& c) { return collator.sortKey(collated(c)); };
        const auto less = [&keys](quint32 a, quint32 b) { return keys[a]->compare(*keys[b]) < 0; };
#endif
        // The keys are made on every core, each part with a collator of its own.
        const bool made = ParallelParts::run(
            parts,
            [this, &keys, &make, parts](int part, const std::atomic<bool>& stop) {
                QCollator own(m_forms.locale);
                const size_t end = keys.size() * size_t(part + 1) / size_t(parts);
                for (size_t i = keys.size() * size_t(part) / size_t(parts); i < end && !stop; ++i)
                    keys[i] = make(own, m_cells[i]);
            },
            progress);
        if (!made || !sortInParts(order, less, progress))
            return std::nullopt;
        return ranksOf(order, less);
    }

private:
    // The text that a text cell is collated by.
    QString collated(const CellRef& c) const
    {
        return m_forms.textStart(c, m_type, RowOrder::kCollatedCharacters).left(RowOrder::kCollatedCharacters);
    }

    const TextForms& m_forms;
    TFieldType m_type;
    qsizetype m_rows;
    std::vector<quint32> m_slots; // each the id of a value plus one; 0 when free
    size_t m_mask = 0;
    std::vector<CellRef> m_cells;
};

// The keys of a column's values: texts and binary contents by their ids among their
// Ranks until ranked.
struct ColumnKeys {
    std::vector<Key> keys;
    bool measured = false; // a number or a moment among the values
    bool inexact = false; // a number whose rounded value is not its value
};

// Reads the key of each row's value; nothing when progress asked to stop.
std::optional<ColumnKeys> readKeys(const ResultStore& store, int column, TFieldType type, Ranks& texts,
    Ranks& binaries, const ParallelParts::Progress& progress)
{
    const qsizetype rows = store.rowCount();
    const bool momentType = isMomentType(type);
    ColumnKeys read;
    read.keys.assign(size_t(rows), Key { 0, Null, 0, 0 });
    ResultStore::Place place;
    for (qsizetype row = 0; row < rows; ++row) {
        if (row % kRowsPerReport == 0 && progress && !progress())
            return std::nullopt;
        Key& k = read.keys[size_t(row)];
        k.row = row;
        const CellRef c = store.cell(row, column, place);
        if (c.cls == CellClass::Null)
            continue;
        // Texts are numbers in a column of numbers only; in a column of binary contents
        // they are texts still, before the binary contents, as SQLite orders them.
        const bool number = c.cls == CellClass::Integer || c.cls == CellClass::Float
            || (c.cls == CellClass::Text && isNumericType(type));
        const NumberOrder::Reading reading = number ? NumberOrder::read(c) : NumberOrder::Reading();
        if (reading.kind != NumberOrder::Kind::None) {
            read.measured = true;
            k.group = reading.kind == NumberOrder::Kind::Number ? Number : NotANumber;
            k.value = reading.rounded;
            k.inexact = !reading.exact;
            read.inexact |= !reading.exact;
        } else if (c.cls == CellClass::Blob) {
            k.group = Binary;
            k.value = binaries.idOf(c);
        } else if (const auto moment = momentType ? IsoDateTime::moment(bytesOf(c), type == ftTime) : std::nullopt) {
            k.group = Moment;
            k.value = *moment;
            read.measured = true;
        } else {
            k.group = Text;
            k.value = texts.idOf(c);
        }
    }
    return read;
}

// Sorts keys by group, then value; numbers of equal rounded values, one of them not
// exact (inexact), are read again and compared exactly: rarely, but for a server's long
// decimals at each tie. A column without such numbers is spared the test.
bool sortKeys(std::vector<Key>& keys, bool inexact, const ResultStore& store, int column, Qt::SortOrder order,
    const ParallelParts::Progress& progress)
{
    const auto sortBy = [&keys, order, &progress](auto ascending) {
        if (order == Qt::AscendingOrder)
            return sortInParts(keys, ascending, progress, true);
        return sortInParts(
            keys, [&ascending](const Key& a, const Key& b) { return ascending(b, a); }, progress, true);
    };
    const auto byValue
        = [](const Key& a, const Key& b) { return a.group != b.group ? a.group < b.group : a.value < b.value; };
    const auto exactly = [&store, column](const Key& a, const Key& b) {
        if (a.group != b.group)
            return a.group < b.group;
        if (!(a.inexact | b.inexact) || a.value != b.value)
            return a.value < b.value;
        ResultStore::Place own;
        const CellRef ca = store.cell(a.row, column, own);
        return NumberOrder::compare(ca, store.cell(b.row, column, own)) < 0;
    };
    return inexact ? sortBy(exactly) : sortBy(byValue);
}

} // namespace

std::optional<std::vector<qsizetype>> RowOrder::sorted(const ResultStore& store, int column, TFieldType type,
    const TextForms& forms, Qt::SortOrder order, const ParallelParts::Progress& progress)
{
    const qsizetype rows = store.rowCount();
    Ranks texts(forms, type, rows);
    Ranks binaries(forms, type, rows);
    std::optional<ColumnKeys> read = readKeys(store, column, type, texts, binaries, progress);
    if (!read)
        return std::nullopt;
    std::vector<Key>& keys = read->keys;
    const std::optional<std::vector<quint32>> textRanks = texts.ranks(Text, progress);
    if (!textRanks)
        return std::nullopt;
    const std::optional<std::vector<quint32>> binaryRanks = binaries.ranks(Binary, progress);
    if (!binaryRanks)
        return std::nullopt;
    for (Key& k : keys) {
        if (k.group == Text)
            k.value = (*textRanks)[size_t(k.value)];
        else if (k.group == Binary)
            k.value = (*binaryRanks)[size_t(k.value)];
    }
    if (!read->measured)
        return countedOrder(keys, textRanks->size(), binaryRanks->size(), order);
    if (!sortKeys(keys, read->inexact, store, column, order, progress))
        return std::nullopt;
    std::vector<qsizetype> result(static_cast<size_t>(rows));
    for (qsizetype i = 0; i < rows; ++i)
        result[size_t(i)] = keys[size_t(i)].row;
    return result;
}
