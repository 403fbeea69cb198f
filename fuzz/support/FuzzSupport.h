#pragma once

#include "data/DataSet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

// What every fuzz target shares: the program's settings as the tests have them, a
// reader of the fuzzer's bytes, a data set held in memory, and the check that stops
// the run with what went wrong.

// Qt's test paths (never the user's files) and French regional settings.
void fuzzInit();

// Stops the run (libFuzzer keeps the input as a crash) after printing what was
// expected and the values involved.
[[noreturn]] void fuzzFail(const char* file, int line, const char* condition, const QString& details);

#define FUZZ_CHECK(condition, details)                                                                                 \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            fuzzFail(__FILE__, __LINE__, #condition, details);                                                         \
    } while (false)

// A readable form of bytes and of text for failure messages.
QString shownBytes(QByteArrayView bytes);
QString shownText(const QString& text);

// Reads the fuzzer's bytes from the front; past the end every read gives zeros or
// nothing, so any input is a valid one.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(reinterpret_cast<const char*>(data))
        , m_size(qsizetype(size))
    {
    }

    bool atEnd() const { return m_at >= m_size; }
    quint8 byte() { return atEnd() ? 0 : quint8(m_data[m_at++]); }
    // A number in [0, count), from one byte.
    int pick(int count) { return count > 0 ? byte() % count : 0; }
    template <class T> T number()
    {
        T value {};
        const qsizetype n = qMin<qsizetype>(sizeof value, m_size - m_at);
        if (n > 0)
            std::memcpy(&value, m_data + m_at, size_t(n));
        m_at += qMax<qsizetype>(n, 0);
        return value;
    }
    // A length byte, then that many bytes (fewer at the end).
    QByteArray chunk()
    {
        const qsizetype length = byte();
        return take(length);
    }
    QByteArray take(qsizetype length)
    {
        const qsizetype n = qMax<qsizetype>(0, qMin(length, m_size - m_at));
        QByteArray bytes(m_data + m_at, n);
        m_at += n;
        return bytes;
    }
    QByteArray rest() { return take(m_size - m_at); }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_at = 0;
};

// A cell of a data set in memory: its class, and its bytes or number.
struct FuzzCell {
    CellClass cls = CellClass::Null;
    QByteArray bytes;
    qint64 integer = 0;
    double real = 0;
};

// A cell of any class, read from the fuzzer's bytes: a class byte, then its number or
// its bytes.
inline FuzzCell readCell(FuzzInput& input)
{
    constexpr CellClass classes[]
        = { CellClass::Null, CellClass::Integer, CellClass::Float, CellClass::Text, CellClass::Blob };
    FuzzCell cell;
    cell.cls = classes[input.pick(int(std::size(classes)))];
    if (cell.cls == CellClass::Integer)
        cell.integer = input.number<qint64>();
    else if (cell.cls == CellClass::Float)
        cell.real = input.number<double>();
    else if (cell.cls != CellClass::Null)
        cell.bytes = input.chunk();
    return cell;
}

// A data set whose rows are given, not read from a database: the components under
// test walk it exactly as they walk a query's result.
class MemoryDataSet : public TDataSet
{
    Q_OBJECT
public:
    // rows hold columns.size() cells each.
    MemoryDataSet(const std::vector<ColumnInfo>& columns, const std::vector<std::vector<FuzzCell>>& rows);
    void open() override { }
};
