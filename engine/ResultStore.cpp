#include "engine/ResultStore.h"

#include "platform/Exceptions.h"
#include "platform/MemoryLimits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{
// Chunks grow from small to large: a result of a few rows takes a few kilobytes, a
// large one 4 MiB at a time.
constexpr qsizetype kFirstChunk = qsizetype(16) << 10;
constexpr qsizetype kLargestChunk = qsizetype(4) << 20;
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

// A cell starts with a tag byte that says its class and, for the commonest cells, its
// size, so that an identifier or an amount takes 4 bytes and a short text one byte
// besides its own:
//   0x00        null
//   0x01..0x08  integer of 1 to 8 little-endian bytes, sign-extended
//   0x09        float, its 8 bytes
//   0x0A, 0x0B  text, blob: a variable-length size, then the bytes
//   0x10..0x37  float that is a decimal of 0 to 4 places: the integer of its digits
//               in 1 to 8 bytes, as an integer; (tag - 0x10) is places * 8 + bytes - 1
//   0x40..0x7F  blob of 0 to 63 bytes
//   0x80..0xFF  text of 0 to 127 bytes
// Measured on the benchmark's million rows (8 columns): 27 bytes a row less than a
// class byte, full 8-byte numbers and a size byte for every text.
constexpr quint8 kTagFloat = 0x09;
constexpr quint8 kTagText = 0x0A;
constexpr quint8 kTagBlob = 0x0B;
constexpr quint8 kDecimal = 0x10;
constexpr quint8 kShortBlob = 0x40;
constexpr quint8 kShortText = 0x80;
constexpr qsizetype kShortBlobMax = 0x3F;
constexpr qsizetype kShortTextMax = 0x7F;
constexpr int kDecimalPlaces = 4;
constexpr double kScale[kDecimalPlaces + 1] = { 1.0, 10.0, 100.0, 1000.0, 10000.0 };

// The fewest little-endian bytes that give value back once sign-extended.
inline int integerBytes(qint64 value)
{
    int n = 1;
    while (n < 8 && (value >> (8 * n - 1)) != 0 && (value >> (8 * n - 1)) != -1)
        ++n;
    return n;
}

inline char* writeInteger(char* p, qint64 value, int n)
{
    for (int i = 0; i < n; ++i)
        p[i] = char(quint8(quint64(value) >> (8 * i)));
    return p + n;
}

inline qint64 readInteger(const char* p, int n)
{
    quint64 bits = 0;
    for (int i = n - 1; i >= 0; --i)
        bits = (bits << 8) | quint8(p[i]);
    const int unused = 64 - 8 * n;
    return qint64(bits << unused) >> unused;
}

// The digits and places of a float that is a decimal of at most four places, when
// dividing the one by ten to the other gives the same double back, bit for bit (the
// division is exactly rounded, so it does on every machine). Amounts and measures are.
// The same decimal in the fewest places: digits' trailing zeros taken off.
inline void dropTrailingZeros(qint64& digits, int& places)
{
    while (places > 0 && digits % 10 == 0) {
        digits /= 10;
        --places;
    }
}

inline bool asDecimal(double value, qint64& digits, int& places)
{
    if (!(std::fabs(value) < 1e14) || (value == 0.0 && std::signbit(value)))
        return false; // NaN, infinities, -0 and numbers too large for their digits to fit
    // Most floats of a result are such decimals: one try at four places, then the
    // digits' trailing zeros taken off, finds the fewest places of them all.
    const double most = std::nearbyint(value * kScale[kDecimalPlaces]);
    if (double(qint64(most)) / kScale[kDecimalPlaces] == value) {
        digits = qint64(most);
        places = kDecimalPlaces;
        dropTrailingZeros(digits, places);
        return true;
    }
    // Beyond 2^52 ten-thousandths, fewer places may hit where four miss.
    for (int k = 0; k < kDecimalPlaces; ++k) {
        const double scaled = std::nearbyint(value * kScale[k]);
        if (double(qint64(scaled)) / kScale[k] == value) {
            digits = qint64(scaled);
            places = k;
            return true;
        }
    }
    return false;
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

// Reads the cell at p into ref, when given, and returns where the next one starts.
inline const char* readCell(const char* p, CellRef* ref)
{
    const auto tag = quint8(*p++);
    if (tag >= kShortBlob) {
        const bool text = tag >= kShortText;
        const qsizetype size = tag - (text ? kShortText : kShortBlob);
        if (ref) {
            ref->cls = text ? CellClass::Text : CellClass::Blob;
            ref->data = p;
            ref->size = size;
        }
        return p + size;
    }
    if (tag == 0) {
        if (ref)
            ref->cls = CellClass::Null;
        return p;
    }
    if (tag <= 8) {
        if (ref) {
            ref->cls = CellClass::Integer;
            ref->integer = readInteger(p, tag);
        }
        return p + tag;
    }
    if (tag >= kDecimal) {
        const int n = ((tag - kDecimal) & 7) + 1;
        if (ref) {
            ref->cls = CellClass::Float;
            ref->real = double(readInteger(p, n)) / kScale[(tag - kDecimal) >> 3];
        }
        return p + n;
    }
    if (tag == kTagFloat) {
        if (ref) {
            ref->cls = CellClass::Float;
            std::memcpy(&ref->real, p, 8);
        }
        return p + 8;
    }
    qsizetype size;
    p = readSize(p, size);
    if (ref) {
        ref->cls = tag == kTagText ? CellClass::Text : CellClass::Blob;
        ref->data = p;
        ref->size = size;
    }
    return p + size;
}

// The row index is kept in blocks that never move: 1,024 entries, twice as many in
// each next block up to 65,536, then blocks of 65,536. Growing it copies nothing, and
// it holds at most one block of entries not used yet.
constexpr qsizetype kFirstBlock = 1024;
constexpr qsizetype kLargestBlock = 65536;
constexpr int kDoublingBlocks = 6; // 1,024 to 32,768 entries
constexpr qsizetype kDoublingRows = kFirstBlock * ((1 << kDoublingBlocks) - 1);

inline qsizetype blockSize(size_t block)
{
    return block < size_t(kDoublingBlocks) ? kFirstBlock << block : kLargestBlock;
}

// The block of a row and its place in it.
inline std::pair<size_t, qsizetype> indexPlace(qsizetype row)
{
    if (row < kDoublingRows) {
        const auto r = quint64(row + kFirstBlock);
        const int block = int(std::bit_width(r)) - int(std::bit_width(quint64(kFirstBlock)));
        return { size_t(block), qsizetype(r - (quint64(kFirstBlock) << block)) };
    }
    const qsizetype q = row - kDoublingRows;
    return { size_t(kDoublingBlocks) + size_t(q / kLargestBlock), q % kLargestBlock };
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
    m_chunkFirstRow = {};
    m_index.clear();
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

char* ResultStore::grow(qsizetype bytes)
{
    // Move the row begun so far into a new chunk, large enough for it and the cell.
    const qsizetype partial = m_rowStart ? m_write - m_rowStart : 0;
    const qsizetype needed = partial + bytes;
    const qsizetype next = m_chunks.empty() ? kFirstChunk : std::min(kLargestChunk, 2 * m_chunkSize);
    qsizetype size = std::max(next, needed);
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
    m_chunkFirstRow.push_back(rowCount()); // the row begun, if any, ends in it
    m_chunkSize = std::min(size, kLargestChunk);
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
    const int n = integerBytes(value);
    char* p = reserve(1 + n);
    *p = char(n);
    m_write = writeInteger(p + 1, value, n);
    m_classes[m_column++] |= 1u << unsigned(CellClass::Integer);
}

void ResultStore::appendFloat(double value)
{
    qint64 digits;
    int places;
    if (asDecimal(value, digits, places)) {
        writeDecimal(digits, places);
    } else {
        char* p = reserve(9);
        *p = char(kTagFloat);
        std::memcpy(p + 1, &value, 8);
        m_write = p + 9;
    }
    m_classes[m_column++] |= 1u << unsigned(CellClass::Float);
}

void ResultStore::appendDecimal(qint64 digits, int places)
{
    Q_ASSERT(places >= 0 && places <= kDecimalPlaces);
    // Below 2^31, the division is exact to far less than a unit of the last place: the
    // fewest places that give the float back are those left once trailing zeros go,
    // as asDecimal finds them.
    constexpr qint64 kExact = qint64(1) << 31;
    if (digits <= -kExact || digits >= kExact) {
        appendFloat(double(digits) / kScale[places]);
        return;
    }
    dropTrailingZeros(digits, places);
    writeDecimal(digits, places);
    m_classes[m_column++] |= 1u << unsigned(CellClass::Float);
}

void ResultStore::writeDecimal(qint64 digits, int places)
{
    const int n = integerBytes(digits);
    char* p = reserve(1 + n);
    *p = char(kDecimal + places * 8 + n - 1);
    m_write = writeInteger(p + 1, digits, n);
}

void ResultStore::appendVariable(CellClass cls, const char* data, qsizetype size)
{
    char* p = reserve(size + 11);
    const bool text = cls == CellClass::Text;
    if (size <= (text ? kShortTextMax : kShortBlobMax)) {
        *p++ = char((text ? kShortText : kShortBlob) + size);
    } else {
        *p++ = char(text ? kTagText : kTagBlob);
        auto v = quint64(size);
        do {
            auto b = quint8(v & 0x7F);
            v >>= 7;
            if (v)
                b |= 0x80;
            *p++ = char(b);
        } while (v);
    }
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

void ResultStore::growIndex()
{
    const qsizetype size = blockSize(m_index.size());
    charge(size * qsizetype(sizeof(quint32)));
    m_index.push_back(std::make_unique_for_overwrite<quint32[]>(size_t(size)));
    m_indexCapacity += size;
}

void ResultStore::endRow()
{
    while (m_column < m_columns)
        appendNull();
    if (m_rowCount == m_indexCapacity)
        growIndex();
    const auto [block, place] = indexPlace(m_rowCount);
    // Rows never span two chunks, and a chunk larger than 4 GiB holds one row alone.
    m_index[block][place] = quint32(m_rowStart - m_chunks.back().get());
    ++m_rowCount;
    m_rowStart = nullptr;
}

// The chunk where row lies: the last whose first row is not after it. Walks read the
// rows in turn, so the chunk of the row read before is tried first.
size_t ResultStore::chunkOf(qsizetype row, Place& place) const
{
    const size_t last = place.chunk;
    if (last < m_chunkFirstRow.size() && m_chunkFirstRow[last] <= row
        && (last + 1 == m_chunkFirstRow.size() || row < m_chunkFirstRow[last + 1]))
        return last;
    const auto after = std::upper_bound(m_chunkFirstRow.begin(), m_chunkFirstRow.end(), row);
    place.chunk = size_t(after - m_chunkFirstRow.begin()) - 1;
    return place.chunk;
}

CellRef ResultStore::cell(qsizetype row, int column, Place& place) const
{
    const char* p;
    int i = 0;
    if (row == place.row && column >= place.column) {
        p = place.cell;
        i = place.column;
    } else {
        const auto [block, at] = indexPlace(row);
        p = m_chunks[chunkOf(row, place)].get() + m_index[block][at];
    }
    for (; i < column; ++i)
        p = readCell(p, nullptr);
    place.row = row;
    place.column = column;
    place.cell = p;
    CellRef ref;
    readCell(p, &ref);
    return ref;
}
