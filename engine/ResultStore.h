#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// How a value is stored in a cell.
enum class CellClass : std::uint8_t { Null, Integer, Float, Text, Blob };

// A read-only view of one cell. For Text the bytes are UTF-8; for Blob, raw bytes.
struct CellRef {
    CellClass cls = CellClass::Null;
    const char* data = nullptr;
    qsizetype size = 0;
    qint64 integer = 0;
    double real = 0.0;
};

// The message of a result refused at the memory ceiling, after rows rows held in
// bytes bytes: the rows in plain digits, as the record counter shows them, and the
// memory in whole megabytes (MiB).
[[nodiscard]] QString resultTooLargeMessage(qsizetype rows, qsizetype bytes);
// "12 lignes lues", "1 ligne lue": rows read so far, in plain digits.
[[nodiscard]] QString rowsReadText(qsizetype rows);

// The rows of a result, held in memory: a chunked arena of raw cell bytes with
// one index entry per row. A cell is a tag byte (its class, and the size of a small
// integer, text or blob) followed by the number or by the bytes of a text or blob.
// Rows never span two chunks, so a row is walked in one contiguous piece.
//
// The store never holds more than its ceiling (arena and row index together): an
// append that would need more throws EDatabaseError(resultTooLargeMessage(...)),
// and the caller drops the store, which gives all of its memory back.
class ResultStore
{
public:
    // Half of what the process may take: the machine's physical memory, or less where
    // the process's limits or its control group's say so (see MemoryLimits). One
    // result may not take the machine, nor end the program for want of memory.
    static qsizetype defaultCeiling();

    explicit ResultStore(int columnCount, qsizetype ceiling = defaultCeiling());
    ~ResultStore();
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    int columnCount() const { return m_columns; }
    qsizetype rowCount() const { return m_rowCount; }

    // Building: beginRow, one append per column, endRow.
    void beginRow();
    void appendNull();
    void appendInteger(qint64 value);
    void appendFloat(double value);
    // The same cell as appendFloat(double(digits) / 10^places), places from 0 to 4,
    // found without dividing for an amount such as a number of cents.
    void appendDecimal(qint64 digits, int places);
    void appendText(const char* utf8, qsizetype size);
    void appendBlob(const char* bytes, qsizetype size);
    // Appends a copy of a cell of any class.
    void appendCell(const CellRef& cell);
    void endRow();

    // Where the last cell read lies: reading the next column of the same row, or the
    // next row of the same chunk (a walk), continues from there.
    struct Place {
        qsizetype row = -1;
        int column = 0;
        const char* cell = nullptr;
        size_t chunk = 0;
    };
    CellRef cell(qsizetype row, int column) const { return cell(row, column, m_place); }
    // The same, with a place of the caller's own: threads that read the store at once
    // each keep theirs (the store does not change while it is read).
    CellRef cell(qsizetype row, int column, Place& place) const;

    // Per column: which cell classes occur (bit i set for CellClass i) and the
    // longest text in bytes. They type columns that declare no type.
    unsigned classesSeen(int column) const { return m_classes[column]; }
    qsizetype longestText(int column) const { return m_longest[column]; }

    // Bytes held by the arena (for measurements).
    qsizetype bytesUsed() const { return m_bytes; }
    // Bytes held by the arena and the row index: what the ceiling bounds.
    // (The table of chunks, 8 bytes for each chunk of up to 4 MiB, is left out.)
    qsizetype bytesHeld() const { return m_bytes + m_indexCapacity * qsizetype(sizeof(quint32)); }

private:
    // Where `bytes` more bytes of the row begun can be written: at the end of the
    // last chunk when they fit, the rarer case out of line.
    char* reserve(qsizetype bytes) { return m_write && m_chunkEnd - m_write >= bytes ? m_write : grow(bytes); }
    // Moves the row begun into a new chunk with room for `bytes` more.
    char* grow(qsizetype bytes);
    // Throws when `more` bytes on top of what is held would pass the ceiling.
    void charge(qsizetype more) const;
    void growIndex();
    size_t chunkOf(qsizetype row, Place& place) const;
    void appendVariable(CellClass cls, const char* data, qsizetype size);
    void writeDecimal(qint64 digits, int places);

    int m_columns;
    qsizetype m_ceiling;
    int m_column = 0;
    // Where each row starts in its chunk, in blocks (see indexPlace).
    std::vector<std::unique_ptr<quint32[]>> m_index;
    qsizetype m_indexCapacity = 0;
    qsizetype m_rowCount = 0;
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::vector<qsizetype> m_chunkFirstRow; // the first row that ends in each chunk
    qsizetype m_chunkSize = 0; // of the last chunk made, up to the largest size
    char* m_chunkEnd = nullptr;
    char* m_write = nullptr;
    char* m_rowStart = nullptr;
    qsizetype m_bytes = 0;
    std::vector<unsigned> m_classes;
    std::vector<qsizetype> m_longest;
    mutable Place m_place;
};
