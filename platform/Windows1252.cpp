#include "platform/Windows1252.h"

#include "platform/HtmlText.h"
#include "platform/Utf8.h"

#include <array>
#include <bit>
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

using Windows1252::Unmappable;

constexpr bool isHtml(Unmappable policy)
{
    return policy == Unmappable::CharacterReference || policy == Unmappable::HtmlText;
}

// The ASCII characters that a policy escapes.
constexpr const char* escapedBy(Unmappable policy)
{
    switch (policy) {
    case Unmappable::QuotedText:
        return "\"";
    case Unmappable::HtmlText:
        return "&<>\"";
    default:
        return "";
    }
}

// Bytes that end a run copied as it is: non-ASCII, the ASCII characters escaped, and
// for HTML the control characters.
constexpr std::array<bool, 256> stopBytes(Unmappable policy)
{
    std::array<bool, 256> stop {};
    for (int b = 0; b < 0x100; ++b)
        stop[size_t(b)] = b >= 0x80 || (isHtml(policy) && !HtmlText::holds(char32_t(b)));
    for (const char* c = escapedBy(policy); *c; ++c)
        stop[size_t(*c)] = true;
    return stop;
}

constexpr quint64 kOnes = 0x0101010101010101ULL;
constexpr quint64 kHighs = 0x8080808080808080ULL;

// The high bit of every byte of word that is c, exact up to the first one (higher
// bits may be wrongly set by the borrow).
inline quint64 bytesEqual(quint64 word, char c)
{
    const quint64 x = word ^ (kOnes * uchar(c));
    return (x - kOnes) & ~x & kHighs;
}

// The high bit of every byte of word below 0x20 or that is DEL, exact up to the first.
inline quint64 controlBytes(quint64 word)
{
    return ((word - kOnes * 0x20) & ~word & kHighs) | bytesEqual(word, 0x7F);
}

// The high bit of the bytes of word that stop a plain run under policy (non-ASCII
// bytes, the ASCII characters escaped, and for HTML the control characters), exact up
// to the first one.
template <Unmappable policy> inline quint64 stopMask(quint64 word)
{
    quint64 mask = word & kHighs;
    if constexpr (policy == Unmappable::QuotedText)
        mask |= bytesEqual(word, '"');
    else if constexpr (policy == Unmappable::HtmlText)
        mask |= bytesEqual(word, '&') | bytesEqual(word, '<') | bytesEqual(word, '>') | bytesEqual(word, '"');
    if constexpr (isHtml(policy))
        mask |= controlBytes(word);
    return mask;
}

// The index in memory order of the first byte whose high bit mask marks.
inline int firstMarked(quint64 mask)
{
    if constexpr (std::endian::native == std::endian::little)
        return std::countr_zero(mask) / 8;
    else
        return std::countl_zero(mask) / 8;
}

constexpr const char* kReplacementReference = "&#65533;";

// How policy writes an ASCII character it escapes; nullptr for one written as it is.
const char* escapedAscii(char c, Unmappable policy)
{
    if (isHtml(policy) && !HtmlText::holds(char32_t(c)))
        return kReplacementReference;
    if (policy == Unmappable::HtmlText)
        return HtmlText::entity(char32_t(c));
    if (policy == Unmappable::QuotedText && c == '"')
        return "\"\"";
    return nullptr;
}

// Writes an ASCII character at w as policy writes it; returns the end.
inline char* writeAscii(char* w, char c, Unmappable policy)
{
    const char* escaped = escapedAscii(c, policy);
    if (!escaped) {
        *w = c;
        return w + 1;
    }
    const size_t length = std::strlen(escaped);
    std::memcpy(w, escaped, length);
    return w + length;
}

bool writesQuestionMark(Unmappable policy)
{
    return policy == Unmappable::QuestionMark || policy == Unmappable::QuotedText;
}

// The character that policy writes for cp: in HTML, U+FFFD for one that HTML text
// may not hold (a C1 control among them: HTML would read a reference to 128..159 as
// the Windows-1252 character of that byte, "&#128;" as "€").
constexpr char32_t writtenFor(char32_t cp, Unmappable policy)
{
    return isHtml(policy) ? HtmlText::shown(cp) : cp;
}

// The most bytes one input byte becomes: an ill-formed byte or a control character
// gives 8 as a character reference ("&#65533;"), a well-formed sequence of k bytes at
// most 4 k ("&#65533;" for a C1 control of 2), an escaped ASCII byte at most 8, a
// doubled quote 2.
constexpr qsizetype growthOf(Unmappable policy)
{
    switch (policy) {
    case Unmappable::QuestionMark:
        return 1;
    case Unmappable::QuotedText:
        return 2;
    case Unmappable::CharacterReference:
    case Unmappable::HtmlText:
        return 8;
    }
    return 8;
}

// The input that appendFromUtf8 transcodes at a time: the room it sets aside is a
// multiple of this, not of a whole long text.
constexpr qsizetype kUtf8Piece = 64 * 1024;

void appendUnmappable(QByteArray& out, char32_t cp, Unmappable policy)
{
    if (writesQuestionMark(policy)) {
        out.append('?');
        return;
    }
    out.append("&#");
    out.append(QByteArray::number(quint32(cp)));
    out.append(';');
}

void appendAscii(QByteArray& out, char c, Unmappable policy)
{
    if (const char* escaped = escapedAscii(c, policy))
        out.append(escaped);
    else
        out.append(c);
}

// appendFromUtf8 for one policy, known when compiling so that the run scans test
// only the bytes that policy stops at. Transcodes from s[i] the characters that
// start before `until` (the last may end up to 3 bytes later, within n); w has room
// for growthOf(policy) bytes per input byte. Returns the end, and i past the input.
template <Unmappable policy> char* writeFromUtf8(char* w, const char* s, qsizetype n, qsizetype& i, qsizetype until)
{
    static constexpr std::array<bool, 256> stop = stopBytes(policy);
    while (i < until) {
        if (i + 8 <= until) {
            // Eight bytes at a time, each word stored whole (what is written never
            // outgrows what is read, so the room is there), w then moved past the bytes
            // before the first stop byte. No call per run of plain bytes.
            quint64 word;
            std::memcpy(&word, s + i, 8);
            std::memcpy(w, &word, 8);
            const quint64 stops = stopMask<policy>(word);
            const int plain = stops ? firstMarked(stops) : 8;
            i += plain;
            w += plain;
            if (plain == 8)
                continue;
        } else if (!stop[uchar(s[i])]) {
            *w++ = s[i++];
            continue;
        }
        if (uchar(s[i]) < 0x80) {
            w = writeAscii(w, s[i++], policy);
            continue;
        }
        const char32_t cp = writtenFor(Utf8::decodeNonAscii(s, n, i), policy);
        const int b = Windows1252::byteFor(cp);
        if (b >= 0) {
            *w++ = char(b);
        } else if (writesQuestionMark(policy)) {
            *w++ = '?';
        } else {
            *w++ = '&';
            *w++ = '#';
            w = std::to_chars(w, w + 8, quint32(cp)).ptr;
            *w++ = ';';
        }
    }
    return w;
}

// The high bit of the bytes of word that appendBytes writes otherwise than as they
// are under policy: the ASCII characters escaped and, in HTML, the control characters
// and the bytes that decode to a C1 control (those the code page leaves unassigned).
// Exact up to the first one.
template <Unmappable policy> inline quint64 bytesToEscape(quint64 word)
{
    quint64 mask = stopMask<policy>(word) & ~word; // ASCII bytes only
    if constexpr (isHtml(policy))
        mask |= bytesEqual(word, '\x81') | bytesEqual(word, '\x8D') | bytesEqual(word, '\x8F')
            | bytesEqual(word, '\x90') | bytesEqual(word, '\x9D');
    return mask;
}

// appendBytes for a policy that escapes characters; w has room for growthOf(policy)
// bytes per input byte; returns the end.
template <Unmappable policy> char* writeEscapedBytes(char* w, const char* s, qsizetype n)
{
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            // Eight bytes at a time, stored whole, w then moved past those before the
            // first to escape (as writeFromUtf8 does).
            quint64 word;
            std::memcpy(&word, s + i, 8);
            std::memcpy(w, &word, 8);
            const quint64 escaped = bytesToEscape<policy>(word);
            const int plain = escaped ? firstMarked(escaped) : 8;
            i += plain;
            w += plain;
            if (plain == 8)
                continue;
        }
        const auto b = uchar(s[i++]);
        if (b < 0x80) {
            w = writeAscii(w, char(b), policy);
        } else if (isHtml(policy) && b < 0xA0 && !HtmlText::holds(kHigh[b - 0x80])) {
            std::memcpy(w, kReplacementReference, 8);
            w += 8;
        } else {
            *w++ = char(b);
        }
    }
    return w;
}

// Appends through a pointer: out is sized for the longest form of every input byte,
// written by write, then cut to what was written.
template <class Write> void appendThrough(QByteArray& out, qsizetype most, Write write)
{
    const qsizetype at = out.size();
    out.resize(at + most);
    char* const begin = out.data();
    out.resize(write(begin + at) - begin);
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
        cp = writtenFor(cp, policy);
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
    const char* s = bytes.data();
    const qsizetype n = bytes.size();
    switch (policy) {
    case Unmappable::QuotedText:
        appendThrough(out, 2 * n, [&](char* w) { return writeEscapedBytes<Unmappable::QuotedText>(w, s, n); });
        break;
    case Unmappable::CharacterReference:
        appendThrough(out, 8 * n, [&](char* w) { return writeEscapedBytes<Unmappable::CharacterReference>(w, s, n); });
        break;
    case Unmappable::HtmlText:
        appendThrough(out, 8 * n, [&](char* w) { return writeEscapedBytes<Unmappable::HtmlText>(w, s, n); });
        break;
    default:
        out.append(bytes);
        break;
    }
}

void appendFromUtf8(QByteArray& out, const char* s, qsizetype n, Unmappable policy)
{
    qsizetype i = Utf8::byteOrderMark(s, n);
    while (i < n) {
        const qsizetype until = qMin(n, i + kUtf8Piece);
        // The last character may run 3 bytes past until.
        appendThrough(out, growthOf(policy) * (qMin(n, until + 3) - i), [&](char* w) {
            switch (policy) {
            case Unmappable::QuestionMark:
                return writeFromUtf8<Unmappable::QuestionMark>(w, s, n, i, until);
            case Unmappable::QuotedText:
                return writeFromUtf8<Unmappable::QuotedText>(w, s, n, i, until);
            case Unmappable::CharacterReference:
                return writeFromUtf8<Unmappable::CharacterReference>(w, s, n, i, until);
            case Unmappable::HtmlText:
                break;
            }
            return writeFromUtf8<Unmappable::HtmlText>(w, s, n, i, until);
        });
    }
}

} // namespace Windows1252
