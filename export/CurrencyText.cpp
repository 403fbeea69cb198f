#include "export/CurrencyText.h"

#include "platform/ByteAppend.h"
#include "platform/Windows1252.h"

#include <charconv>
#include <limits>

namespace
{

constexpr auto kPolicy = Windows1252::Unmappable::CharacterReference;

QByteArray encoded(const QString& text)
{
    return Windows1252::encode(text, kPolicy);
}

} // namespace

CurrencyText::CurrencyText(const QLocale& locale)
    : m_locale(locale)
{
    learnForm();
    m_direct = learnDirect();
}

CurrencyText::Cents CurrencyText::roundedCents(qint64 amount)
{
    // The size as unsigned: the negative of the smallest qint64 is no qint64. Adding half a
    // cent to the size rounds half away from zero, and an amount that rounds to nothing
    // shows no sign.
    const quint64 size = amount < 0 ? 0 - quint64(amount) : quint64(amount);
    const quint64 cents = (size + 50) / 100;
    return { amount < 0 && cents != 0, cents };
}

QString CurrencyText::text(qint64 amount) const
{
    const Cents cents = roundedCents(amount);
    return m_prefix[cents.negative] + m_locale.toString(cents.size / 100) + m_point + m_digits[cents.size % 100 / 10]
        + m_digits[cents.size % 10] + m_suffix[cents.negative];
}

void CurrencyText::append(QByteArray& out, qint64 amount) const
{
    if (m_direct)
        appendDirect(out, roundedCents(amount));
    else
        Windows1252::appendEncoded(out, text(amount), kPolicy);
}

// Finds what the locale writes around a number of 1,234,567.89, positive and negative.
void CurrencyText::learnForm()
{
    m_point = m_locale.decimalPoint();
    for (int d = 0; d < 10; ++d)
        m_digits[d] = m_locale.toString(d);
    constexpr double kSample = 1234567.89;
    const QString number = m_locale.toString(kSample, 'f', 2);
    for (int negative = 0; negative < 2; ++negative) {
        const QString form = m_locale.toCurrencyString(negative ? -kSample : kSample, QString(), 2);
        const qsizetype at = form.indexOf(number);
        if (at >= 0 && form.indexOf(number, at + 1) < 0) {
            m_prefix[negative] = form.left(at);
            m_suffix[negative] = form.mid(at + number.size());
        } else {
            m_prefix[negative] = negative ? m_locale.negativeSign() : QString();
            m_suffix[negative] = QLatin1Char(' ') + m_locale.currencySymbol();
        }
    }
}

// The byte form: ASCII digits grouped by three from some length on. Kept only when it
// gives text() on amounts of every length, both signs and roundings.
bool CurrencyText::learnDirect()
{
    if (m_locale.zeroDigit() != QLatin1String("0"))
        return false;
    m_groupBytes = encoded(m_locale.groupSeparator());
    m_pointBytes = encoded(m_point);
    for (int negative = 0; negative < 2; ++negative) {
        m_prefixBytes[negative] = encoded(m_prefix[negative]);
        m_suffixBytes[negative] = encoded(m_suffix[negative]);
    }
    const QString group = m_locale.groupSeparator();
    m_groupFrom = group.isEmpty()                  ? 0
        : m_locale.toString(1234).contains(group)  ? 4
        : m_locale.toString(12345).contains(group) ? 5
                                                   : 0;
    qint64 amount = 0;
    for (int length = 1; length <= 19; ++length) {
        amount = amount * 10 + length % 10; // 1, 12, ... 1234567890123456789
        const qint64 halfCent = amount / 100 * 100 + 50;
        for (const qint64 sample : { amount, -amount, halfCent, -halfCent }) {
            QByteArray direct;
            appendDirect(direct, roundedCents(sample));
            if (direct != encoded(text(sample)))
                return false;
        }
    }
    QByteArray direct;
    appendDirect(direct, roundedCents(std::numeric_limits<qint64>::min()));
    return direct == encoded(text(std::numeric_limits<qint64>::min()));
}

void CurrencyText::appendDirect(QByteArray& out, Cents cents) const
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, cents.size / 100).ptr;
    const qsizetype count = end - digits;
    const bool grouped = m_groupFrom > 0 && count >= m_groupFrom;
    ByteAppend::append(out, m_prefixBytes[cents.negative]);
    for (qsizetype i = 0; i < count; ++i) {
        if (grouped && i > 0 && (count - i) % 3 == 0)
            ByteAppend::append(out, m_groupBytes);
        ByteAppend::append(out, digits[i]);
    }
    ByteAppend::append(out, m_pointBytes);
    ByteAppend::append(out, char('0' + cents.size % 100 / 10));
    ByteAppend::append(out, char('0' + cents.size % 10));
    ByteAppend::append(out, m_suffixBytes[cents.negative]);
}
