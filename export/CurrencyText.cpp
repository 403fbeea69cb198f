#include "CurrencyText.h"

#include "Windows1252.h"

#include <charconv>

namespace
{

constexpr auto kPolicy = Windows1252::Unmappable::CharacterReference;
// Up to a hundred billion, a double holds every cent exactly enough for rounding to
// two decimals to give that cent back.
constexpr qint64 kDirectLimit = qint64(1000000000000000);

QByteArray encoded(const QString& text)
{
    return Windows1252::encode(text, kPolicy);
}

} // namespace

CurrencyText::CurrencyText(const QLocale& locale)
    : m_locale(locale)
{
    m_direct = learn();
}

QString CurrencyText::text(qint64 amount) const
{
    return m_locale.toCurrencyString(double(amount) / 10000.0, QString(), 2);
}

void CurrencyText::append(QByteArray& out, qint64 amount) const
{
    if (!appendDirect(out, amount))
        Windows1252::appendEncoded(out, text(amount), kPolicy);
}

bool CurrencyText::appendDirect(QByteArray& out, qint64 amount) const
{
    // The size of the amount as unsigned: the negative of the smallest qint64 is no qint64.
    const bool negative = amount < 0;
    const quint64 size = negative ? 0 - quint64(amount) : quint64(amount);
    if (!m_direct || size % 100 != 0 || size >= quint64(kDirectLimit))
        return false;
    const qint64 cents = qint64(size / 100);
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, cents / 100).ptr;
    const qsizetype count = end - digits;
    out.append(m_prefix[negative]);
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            out.append(m_group);
        out.append(digits[i]);
    }
    out.append(m_point);
    out.append(char('0' + cents % 100 / 10));
    out.append(char('0' + cents % 10));
    out.append(m_suffix[negative]);
    return true;
}

// Finds the prefix and suffix around the number 1,234,567.89 in the locale's forms
// of a positive and a negative amount, then checks the direct form on samples.
bool CurrencyText::learn()
{
    m_group = encoded(m_locale.groupSeparator());
    m_point = encoded(m_locale.decimalPoint());
    const QByteArray number = "1" + m_group + "234" + m_group + "567" + m_point + "89";
    for (int negative = 0; negative < 2; ++negative) {
        const QByteArray sample = encoded(text(negative ? -12345678900 : 12345678900));
        const qsizetype at = sample.indexOf(number);
        if (at < 0 || sample.indexOf(number, at + 1) >= 0)
            return false;
        m_prefix[negative] = sample.left(at);
        m_suffix[negative] = sample.mid(at + number.size());
    }
    m_direct = true;
    for (qint64 amount : { 0LL, 100LL, 50000LL, 125000LL, 9999900LL, 10000000LL, 12345600LL, 100000000LL, -100LL,
             -125000LL, -10000000LL, -123456789000LL, 999999999999900LL }) {
        QByteArray direct;
        appendDirect(direct, amount);
        if (direct != encoded(text(amount)))
            return false;
    }
    return true;
}
