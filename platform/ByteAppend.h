#pragma once

#include <QByteArray>
#include <cstring>

// Appending a few bytes to a QByteArray, millions of times in an export: Qt's append()
// goes out of line through the general insert(), which costs more than the copy of a
// cell's delimiter, tag or number. These copy in line while the array has room of its
// own (one byte kept for the terminating zero), and leave growing to append().
namespace ByteAppend
{

inline void append(QByteArray& out, const char* s, qsizetype n)
{
    QByteArray::DataPointer& d = out.data_ptr();
    if (d.needsDetach() || d.freeSpaceAtEnd() <= n) {
        out.append(s, n);
        return;
    }
    char* w = d.data() + d.size;
    std::memcpy(w, s, size_t(n));
    d.size += n;
    w[n] = '\0';
}

inline void append(QByteArray& out, QByteArrayView bytes)
{
    append(out, bytes.data(), bytes.size());
}

inline void append(QByteArray& out, char c)
{
    append(out, &c, 1);
}

template <qsizetype N> inline void append(QByteArray& out, const char (&literal)[N])
{
    append(out, literal, N - 1);
}

} // namespace ByteAppend
