#pragma once

#include "platform/ByteAppend.h"
#include "platform/Utf8.h"
#include "platform/Windows1252.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <string_view>

// Where the text forms write a value's text: the same calls give a QString (the grid,
// the fields, the captures) or Windows-1252 bytes (the exports), so that each form is
// written once for both. Each sink takes
//   ascii(s):         ASCII characters that no file escapes (digits, signs, letters, the
//                     separators of a numeric date);
//   number(s, point): an ASCII number with '.' for its decimal point, written with point;
//   text(s):          any text;
//   utf8(s):          a text stored as UTF-8, ill-formed or not;
//   bytes1252(s):     a blob's bytes, read as Windows-1252.

// The text as a QString; all of it, or its first `units` UTF-16 code units at least
// when stored texts and blobs are long (what the grid shows of them).
class QStringTextSink
{
public:
    explicit QStringTextSink(qsizetype units = -1)
        : m_units(units)
    {
    }

    void ascii(std::string_view s) { m_text.append(QLatin1StringView(s.data(), qsizetype(s.size()))); }
    void number(std::string_view s, QChar point)
    {
        const qsizetype at = m_text.size();
        ascii(s);
        if (point != u'.')
            std::replace(m_text.begin() + at, m_text.end(), QChar(u'.'), point);
    }
    void text(const QString& s) { m_text += s; }
    void utf8(std::string_view s)
    {
        const QByteArrayView bytes(s.data(), qsizetype(s.size()));
        m_text += m_units < 0 ? Utf8::decode(bytes) : Utf8::decodeStart(bytes, m_units);
    }
    void bytes1252(std::string_view s)
    {
        const qsizetype size = m_units < 0 ? qsizetype(s.size()) : qMin(qsizetype(s.size()), m_units);
        m_text += Windows1252::decode(QByteArrayView(s.data(), size));
    }

    [[nodiscard]] QString take() { return std::move(m_text); }

private:
    QString m_text;
    qsizetype m_units;
};

// The text appended to out in Windows-1252, characters that the code page cannot hold
// and those that the file escapes written as policy says.
class Bytes1252TextSink
{
public:
    Bytes1252TextSink(QByteArray& out, Windows1252::Unmappable policy)
        : m_out(out)
        , m_policy(policy)
    {
    }

    void ascii(std::string_view s) { ByteAppend::append(m_out, s.data(), qsizetype(s.size())); }
    void number(std::string_view s, QChar point)
    {
        if (point == u'.') {
            ascii(s);
            return;
        }
        const int b = Windows1252::byteFor(point.unicode());
        if (b < 0 || b == '"' || b == '&' || b == '<' || b == '>') {
            text(QString::fromLatin1(s.data(), qsizetype(s.size())).replace(QLatin1Char('.'), point));
            return;
        }
        const qsizetype at = m_out.size();
        ascii(s);
        std::replace(m_out.begin() + at, m_out.end(), '.', char(b));
    }
    void text(const QString& s) { Windows1252::appendEncoded(m_out, s, m_policy); }
    void utf8(std::string_view s) { Windows1252::appendFromUtf8(m_out, s.data(), qsizetype(s.size()), m_policy); }
    void bytes1252(std::string_view s)
    {
        Windows1252::appendBytes(m_out, QByteArrayView(s.data(), qsizetype(s.size())), m_policy);
    }

private:
    QByteArray& m_out;
    Windows1252::Unmappable m_policy;
};

// The text appended to out in UTF-8 (the CSV file and the workbook). Stored UTF-8 goes
// as it is when it is well formed; otherwise through the one decoder, so that every
// ill-formed run becomes U+FFFD as it does on the screen.
class Utf8TextSink
{
public:
    explicit Utf8TextSink(QByteArray& out)
        : m_out(out)
    {
    }

    void ascii(std::string_view s) { ByteAppend::append(m_out, s.data(), qsizetype(s.size())); }
    void number(std::string_view s, QChar point)
    {
        if (point.unicode() < 0x80) {
            const qsizetype at = m_out.size();
            ascii(s);
            if (point != u'.')
                std::replace(m_out.begin() + at, m_out.end(), '.', char(point.unicode()));
            return;
        }
        text(QString::fromLatin1(s.data(), qsizetype(s.size())).replace(QLatin1Char('.'), point));
    }
    void text(const QString& s) { m_out += s.toUtf8(); }
    void utf8(std::string_view s)
    {
        if (wellFormed(s))
            ascii(s);
        else
            text(Utf8::decode(QByteArrayView(s.data(), qsizetype(s.size()))));
    }
    void bytes1252(std::string_view s) { text(Windows1252::decode(QByteArrayView(s.data(), qsizetype(s.size())))); }

private:
    static bool wellFormed(std::string_view s)
    {
        const auto n = qsizetype(s.size());
        for (qsizetype i = 0; i < n;) {
            if (uchar(s[size_t(i)]) < 0x80) {
                ++i;
                continue;
            }
            const qsizetype at = i;
            // A replacement character stands for an ill-formed run unless it was stored.
            if (Utf8::decodeNonAscii(s.data(), n, i) == Utf8::kReplacement && s.substr(size_t(at), 3) != "\xEF\xBF\xBD")
                return false;
        }
        return true;
    }

    QByteArray& m_out;
};
