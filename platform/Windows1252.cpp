#include "Windows1252.h"

#include <array>
#include <charconv>
#include <cstring>

namespace
{

// Code points of bytes 0x80..0x9F; the unassigned bytes map to themselves.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

// Bytes that end a run copied as it is: non-ASCII, and for HTML text the markup.
constexpr std::array<bool, 256> stopBytes(bool html)
{
    std::array<bool, 256> stop {};
    for (int b = 0x80; b < 0x100; ++b)
        stop[size_t(b)] = true;
    if (html)
        for (const char c : { '&', '<', '>', '"' })
            stop[size_t(c)] = true;
    return stop;
}
constexpr std::array<bool, 256> kStopText = stopBytes(false);
constexpr std::array<bool, 256> kStopHtml = stopBytes(true);
constexpr std::array<bool, 256> kMarkup = [] {
    std::array<bool, 256> markup {};
    for (const char c : { '&', '<', '>', '"' })
        markup[size_t(c)] = true;
    return markup;
}();

// True when one of the eight bytes of word is "&", "<", ">" or '"'.
inline bool holdsMarkup(quint64 word)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highs = 0x8080808080808080ULL;
    const auto holds = [word](char c) {
        const quint64 x = word ^ (ones * uchar(c));
        return ((x - ones) & ~x & highs) != 0;
    };
    return holds('&') || holds('<') || holds('>') || holds('"');
}

// True when none of the eight bytes of word is a stop byte.
inline bool plainWord(quint64 word, bool html)
{
    if (word & 0x8080808080808080ULL)
        return false;
    return !html || !holdsMarkup(word);
}

// The entity of an ASCII character that HTML text escapes; nullptr for the others.
const char* markupEntity(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    default:
        return nullptr;
    }
}

void appendUnmappable(QByteArray& out, char32_t cp, Windows1252::Unmappable policy)
{
    if (policy == Windows1252::Unmappable::QuestionMark) {
        out.append('?');
        return;
    }
    out.append("&#");
    out.append(QByteArray::number(quint32(cp)));
    out.append(';');
}

void appendAscii(QByteArray& out, char c, Windows1252::Unmappable policy)
{
    const char* entity = policy == Windows1252::Unmappable::HtmlText ? markupEntity(c) : nullptr;
    if (entity)
        out.append(entity);
    else
        out.append(c);
}

} // namespace

namespace Windows1252
{

int byteFor(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp)
            return 0x80 + i;
    return -1;
}

QString decode(QByteArrayView bytes)
{
    QString result(bytes.size(), Qt::Uninitialized);
    QChar* out = result.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uchar(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return result;
}

void appendEncoded(QByteArray& out, QStringView text, Unmappable policy)
{
    out.reserve(out.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (cp < 0x80) {
            appendAscii(out, char(cp), policy);
            continue;
        }
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(char16_t(cp), text[i + 1].unicode());
            ++i;
        }
        const int b = byteFor(cp);
        if (b >= 0)
            out.append(char(b));
        else
            appendUnmappable(out, cp, policy);
    }
}

QByteArray encode(QStringView text, Unmappable policy)
{
    QByteArray out;
    appendEncoded(out, text, policy);
    return out;
}

void appendBytes(QByteArray& out, QByteArrayView bytes, Unmappable policy)
{
    if (policy != Unmappable::HtmlText) {
        out.append(bytes);
        return;
    }
    // Sized for the longest entity per byte, written through a pointer, then cut.
    const char* s = bytes.data();
    const qsizetype n = bytes.size();
    const qsizetype at = out.size();
    out.resize(at + 6 * n);
    char* w = out.data() + at;
    qsizetype i = 0;
    while (i < n) {
        quint64 word;
        if (i + 8 <= n && (std::memcpy(&word, s + i, 8), !holdsMarkup(word))) {
            std::memcpy(w, &word, 8);
            w += 8;
            i += 8;
            continue;
        }
        const char c = s[i++];
        if (const char* entity = kMarkup[uchar(c)] ? markupEntity(c) : nullptr) {
            const size_t length = std::strlen(entity);
            std::memcpy(w, entity, length);
            w += length;
        } else {
            *w++ = c;
        }
    }
    out.resize(w - out.data());
}

void appendFromUtf8(QByteArray& out, const char* s, qsizetype n, Unmappable policy)
{
    // The output is sized for the longest form of every input byte, written through a
    // pointer, then cut: a UTF-8 sequence of k bytes gives at most 2.5 k bytes as a
    // character reference ("&#2047;" for 2), a markup byte at most 6 ("&quot;").
    const bool html = policy == Unmappable::HtmlText;
    const qsizetype growth = policy == Unmappable::QuestionMark ? 1 : html ? 6 : 4;
    const qsizetype at = out.size();
    out.resize(at + growth * n);
    char* w = out.data() + at;
    const auto& stop = html ? kStopHtml : kStopText;
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        // Eight bytes at a time while they need no change, then byte by byte.
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if (!plainWord(word, html))
                break;
            i += 8;
        }
        while (i < n && !stop[uchar(s[i])])
            ++i;
        if (i > start) {
            std::memcpy(w, s + start, size_t(i - start));
            w += i - start;
        }
        if (i >= n)
            break;
        const auto c = uchar(s[i]);
        if (c < 0x80) {
            const char* entity = markupEntity(char(c));
            const size_t length = std::strlen(entity);
            std::memcpy(w, entity, length);
            w += length;
            ++i;
            continue;
        }
        char32_t cp = 0;
        int extra = 0;
        if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            *w++ = '?';
            ++i;
            continue;
        }
        if (i + extra >= n) {
            *w++ = '?';
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = uchar(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            *w++ = '?';
            ++i;
            continue;
        }
        i += extra + 1;
        const int b = byteFor(cp);
        if (b >= 0) {
            *w++ = char(b);
        } else if (policy == Unmappable::QuestionMark) {
            *w++ = '?';
        } else {
            *w++ = '&';
            *w++ = '#';
            w = std::to_chars(w, w + 8, quint32(cp)).ptr;
            *w++ = ';';
        }
    }
    out.resize(w - out.data());
}

} // namespace Windows1252
