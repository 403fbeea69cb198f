#pragma once

#include <QByteArrayView>
#include <QString>

// Text comes from the databases as UTF-8, and stored bytes may be anything. This is
// the one decoder of the program: the grid, captures, memos, printing, mail and the
// exports' direct path all read stored text through it, so they agree on every value.
//
// Only well-formed UTF-8 decodes to its character. A byte that does not start a
// complete, well-formed sequence (an overlong form, a surrogate, a code point above
// U+10FFFF, a sequence cut short, a stray continuation byte) becomes one U+FFFD, and
// decoding goes on with the byte after it: an ill-formed run of n bytes gives n
// U+FFFD. A byte order mark at the very start is dropped. QString::fromUtf8 decodes
// every input the same way.
namespace Utf8
{

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at s[i], a byte of 0x80 or more (i < n), and moves i past it.
inline char32_t decodeNonAscii(const char* s, qsizetype n, qsizetype& i)
{
    const auto lead = uchar(s[i]);
    // The bytes that may follow the lead: narrower after E0, ED, F0 and F4, which
    // rules out overlong forms, surrogates and code points above U+10FFFF.
    uchar low = 0x80;
    uchar high = 0xBF;
    int continuations;
    char32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        cp = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        cp = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        ++i;
        return kReplacement;
    }
    if (n - i <= continuations) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= continuations; ++k) {
        const auto c = uchar(s[i + k]);
        if (c < low || c > high) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    i += continuations + 1;
    return cp;
}

// The length of a byte order mark at the start of s (3), or 0.
qsizetype byteOrderMark(const char* s, qsizetype n);

QString decode(QByteArrayView bytes);

// The start of decode(bytes): all of it, or its first `units` UTF-16 code units at
// least (one more when the last character takes two). Only the bytes of that start
// are read, so a long text costs no more than a short one.
QString decodeStart(QByteArrayView bytes, qsizetype units);

} // namespace Utf8
