#include "engine/ResultStore.h"

#include "platform/Exceptions.h"
#include "platform/MemoryLimits.h"

#include <algorithm>
#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{
constexpr qsizetype kChunkSize = qsizetype(4) << 20;
constexpr qsizetype kMiB = qsizetype(1) << 20;
// Dropping a store of more than this hands the freed memory back to the system at once.
constexpr qsizetype kTrimAbove = qsizetype(16) << 20;

// Megabytes for a message: one decimal below 10 Mo, so that a small ceiling does not
// read "0 Mo", whole numbers above; a decimal comma, as the message is French.
QString megabytes(qsizetype bytes)
{
    if (bytes < 10 * kMiB) {
        const qsizetype tenths = (bytes * 10 + kMiB / 2) / kMiB;
        return QString::number(tenths / 10) + QLatin1Char(',') + QString::number(tenths % 10);
    }
    return QString::number((bytes + kMiB / 2) / kMiB);
}

inline const char* readSize(const char* p, qsizetype& size)
{
    quint64 v = 0;
    int shift = 0;
    for (;;) {
        const auto b = quint8(*p++);
        v |= quint64(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
        shift += 7;
    }
    size = qsizetype(v);
    return p;
}

inline const char* skipCell(const char* p)
{
    const auto cls = CellClass(*p++);
    switch (cls) {
    case CellClass::Null:
        return p;
    case CellClass::Integer:
    case CellClass::Float:
        return p + 8;
    case CellClass::Text:
    case CellClass::Blob: {
        qsizetype n;
        p = readSize(p, n);
        return p + n;
    }
    }
    return p;
}
} // namespace

QString resultTooLargeMessage(qsizetype rows, qsizetype bytes)
{
    return QStringLiteral("Résultat trop volumineux : %1 (%2 Mo).").arg(rowsReadText(rows), megabytes(bytes));
}

QString rowsReadText(qsizetype rows)
{
    return QString::number(rows) + (rows > 1 ? QStringLiteral(" lignes lues") : QStringLiteral(" ligne lue"));
}

qsizetype ResultStore::defaultCeiling()
{
    static const qsizetype ceiling = [] {
        const quint64 limit = MemoryLimits::smallestLimit(MemoryLimits::thisProcess());
        const auto largest = quint64(std::numeric_limits<qsizetype>::max());
        return qsizetype(limit == 0 ? largest : std::min(limit / 2, largest));
    }();
    return ceiling;
}

ResultStore::ResultStore(int columnCount, qsizetype ceiling)
    : m_columns(columnCount)
    , m_ceiling(ceiling)
    , m_classes(size_t(columnCount), 0u)
    , m_longest(size_t(columnCount), 0)
{
}

ResultStore::~ResultStore()
{
    const bool large = bytesHeld() > kTrimAbove;
    m_chunks.clear();
    m_rows = {};
#ifdef __GLIBC__
    // The allocator keeps freed chunks for the process otherwise: a result refused at
    // the ceiling, or a large one closed, would still weigh on the machine.
    if (large)
        malloc_trim(0);
#else
    Q_UNUSED(large);
#endif
}

void ResultStore::charge(qsizetype more) const
{
    if (more > m_ceiling - bytesHeld())
        throw EDatabaseError(resultTooLargeMessage(rowCount(), bytesHeld()));
}

char* ResultStore::reserve(qsizetype bytes)
{
    if (m_write && m_chunkEnd - m_write >= bytes)
        return m_write;
    // Move the row begun so far into a new chunk, large enough for it and the cell.
    const qsizetype partial = m_rowStart ? m_write - m_rowStart : 0;
    const qsizetype needed = partial + bytes;
    qsizetype size = std::max(kChunkSize, needed);
    // Near the ceiling, chunks take half the room that is left, so that the row
    // index still finds room to grow.
    const qsizetype room = m_ceiling - bytesHeld();
    if (size > room)
        size = std::max(needed, room / 2);
    charge(size);
    auto chunk = std::make_unique_for_overwrite<char[]>(size_t(size));
    if (partial > 0)
        std::memcpy(chunk.get(), m_rowStart, size_t(partial));
    m_rowStart = chunk.get();
    m_write = chunk.get() + partial;
    m_chunkEnd = chunk.get() + size;
    // A chunk left holding only the moved row's start is not freed: it may hold earlier rows.
    m_chunks.push_back(std::move(chunk));
    m_bytes += size;
    return m_write;
}

void ResultStore::beginRow()
{
    m_column = 0;
    reserve(1);
    m_rowStart = m_write;
}

void ResultStore::appendNull()
{
    char* p = reserve(1);
    *p = char(CellClass::Null);
    m_write = p + 1;
    m_classes[m_column++] |= 1u << unsigned(CellClass::Null);
}

void ResultStore::appendInteger(qint64 value)
{
    char* p = reserve(9);
    *p = char(CellClass::Integer);
    std::memcpy(p + 1, &value, 8);
    m_write = p + 9;
    m_classes[m_column++] |= 1u << unsigned(CellClass::Integer);
}

void ResultStore::appendFloat(double value)
{
    char* p = reserve(9);
    *p = char(CellClass::Float);
    std::memcpy(p + 1, &value, 8);
    m_write = p + 9;
    m_classes[m_column++] |= 1u << unsigned(CellClass::Float);
}

void ResultStore::appendVariable(CellClass cls, const char* data, qsizetype size)
{
    char* p = reserve(size + 11);
    *p++ = char(cls);
    auto v = quint64(size);
    do {
        auto b = quint8(v & 0x7F);
        v >>= 7;
        if (v)
            b |= 0x80;
        *p++ = char(b);
    } while (v);
    if (size > 0)
        std::memcpy(p, data, size_t(size));
    m_write = p + size;
    m_classes[m_column] |= 1u << unsigned(cls);
    if (cls == CellClass::Text && size > m_longest[m_column])
        m_longest[m_column] = size;
    ++m_column;
}

void ResultStore::appendText(const char* utf8, qsizetype size)
{
    appendVariable(CellClass::Text, utf8, size);
}

void ResultStore::appendBlob(const char* bytes, qsizetype size)
{
    appendVariable(CellClass::Blob, bytes, size);
}

void ResultStore::appendCell(const CellRef& cell)
{
    switch (cell.cls) {
    case CellClass::Null:
        appendNull();
        break;
    case CellClass::Integer:
        appendInteger(cell.integer);
        break;
    case CellClass::Float:
        appendFloat(cell.real);
        break;
    case CellClass::Text:
    case CellClass::Blob:
        appendVariable(cell.cls, cell.data, cell.size);
        break;
    }
}

// The index grows by half (doubling would hold both the old and a new index twice
// as large at once); near the ceiling by what is left.
void ResultStore::growIndex()
{
    const size_t capacity = m_rows.capacity();
    size_t grown = std::max<size_t>(1024, capacity + capacity / 2);
    const auto room = size_t(std::max<qsizetype>(0, (m_ceiling - bytesHeld()) / qsizetype(sizeof(const char*))));
    if (grown > room)
        grown = std::max(room, capacity + 1);
    charge(qsizetype(grown * sizeof(const char*)));
    m_rows.reserve(grown);
}

void ResultStore::endRow()
{
    while (m_column < m_columns)
        appendNull();
    if (m_rows.size() == m_rows.capacity())
        growIndex();
    m_rows.push_back(m_rowStart);
    m_rowStart = nullptr;
}

CellRef ResultStore::cell(qsizetype row, int column) const
{
    const char* p = m_rows[size_t(row)];
    int i = 0;
    if (row == m_lastRow && column >= m_lastColumn) {
        p = m_lastCell;
        i = m_lastColumn;
    }
    for (; i < column; ++i)
        p = skipCell(p);
    m_lastRow = row;
    m_lastColumn = column;
    m_lastCell = p;
    CellRef ref;
    ref.cls = CellClass(*p++);
    switch (ref.cls) {
    case CellClass::Null:
        break;
    case CellClass::Integer:
        std::memcpy(&ref.integer, p, 8);
        break;
    case CellClass::Float:
        std::memcpy(&ref.real, p, 8);
        break;
    case CellClass::Text:
    case CellClass::Blob:
        p = readSize(p, ref.size);
        ref.data = p;
        break;
    }
    return ref;
}
