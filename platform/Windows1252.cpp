#include "Windows1252.h"

#include <array>

namespace {

// Code points of bytes 0x80..0x9F; the unassigned bytes map to themselves.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

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

} // namespace

namespace Windows1252 {

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
            out.append(char(cp));
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

void appendFromUtf8(QByteArray& out, const char* s, qsizetype n, Unmappable policy)
{
    // Pure ASCII runs are copied in one piece.
    qsizetype i = 0;
    while (i < n) {
        qsizetype start = i;
        while (i < n && uchar(s[i]) < 0x80)
            ++i;
        if (i > start)
            out.append(s + start, i - start);
        if (i >= n)
            break;
        const auto c = uchar(s[i]);
        char32_t cp = 0;
        int extra = 0;
        if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { out.append('?'); ++i; continue; }
        if (i + extra >= n) { out.append('?'); ++i; continue; }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = uchar(s[i + k]);
            if ((cc & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) { out.append('?'); ++i; continue; }
        i += extra + 1;
        const int b = byteFor(cp);
        if (b >= 0)
            out.append(char(b));
        else
            appendUnmappable(out, cp, policy);
    }
}

} // namespace Windows1252
