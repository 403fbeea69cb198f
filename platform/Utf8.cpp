#include "platform/Utf8.h"

#include <cstring>

namespace
{

// Decodes s[i..n) into out until at least `units` code units were written or the
// input ends; out has room for units + 1 code units, and for n - i. Returns the end.
char16_t* decodeInto(char16_t* out, const char* s, qsizetype n, qsizetype i, qsizetype units)
{
    char16_t* const end = out + units;
    char16_t* w = out;
    while (i < n && w < end) {
        // ASCII runs eight bytes at a time, as long as the room allows.
        if (i + 8 <= n && end - w >= 8) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                for (int k = 0; k < 8; ++k)
                    w[k] = char16_t(uchar(s[i + k]));
                w += 8;
                i += 8;
                continue;
            }
        }
        const auto b = uchar(s[i]);
        if (b < 0x80) {
            *w++ = b;
            ++i;
            continue;
        }
        const char32_t cp = Utf8::decodeNonAscii(s, n, i);
        if (cp > 0xFFFF) {
            *w++ = QChar::highSurrogate(cp);
            *w++ = QChar::lowSurrogate(cp);
        } else {
            *w++ = char16_t(cp);
        }
    }
    return w;
}

} // namespace

namespace Utf8
{

qsizetype byteOrderMark(const char* s, qsizetype n)
{
    return n >= 3 && uchar(s[0]) == 0xEF && uchar(s[1]) == 0xBB && uchar(s[2]) == 0xBF ? 3 : 0;
}

QString decode(QByteArrayView bytes)
{
    // No byte gives more than one code unit, and four bytes give at most two.
    return decodeStart(bytes, bytes.size());
}

QString decodeStart(QByteArrayView bytes, qsizetype units)
{
    const char* s = bytes.data();
    const qsizetype n = bytes.size();
    const qsizetype start = byteOrderMark(s, n);
    units = qMax<qsizetype>(units, 0);
    // Every code unit takes one byte at least: the room for the rest of the input
    // will do when it is less than units + 1.
    const qsizetype room = qMin(n - start, units + 1);
    QString text(room, Qt::Uninitialized);
    char16_t* const out = reinterpret_cast<char16_t*>(text.data());
    text.truncate(decodeInto(out, s, n, start, qMin(units, room)) - out);
    return text;
}

} // namespace Utf8
