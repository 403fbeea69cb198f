#pragma once

#include <QByteArray>
#include <QLocale>

// Amounts in the currency style of a locale with two decimals, as
// QLocale::toCurrencyString(value, {}, 2) writes them, in Windows-1252 with character
// references. Writing one amount through QLocale costs several strings; this writes
// the digits between a prefix and a suffix taken once from the locale, and checks
// that form against QLocale on sample amounts first. Amounts it cannot be sure of
// (a locale whose grouping is not by three, sub-cent amounts, huge ones) still go
// through QLocale.
class CurrencyText
{
public:
    explicit CurrencyText(const QLocale& locale);

    // amount in units of 1/10,000 (a currency field's value).
    void append(QByteArray& out, qint64 amount) const;
    [[nodiscard]] QString text(qint64 amount) const;

private:
    bool appendDirect(QByteArray& out, qint64 amount) const;
    bool learn();

    QLocale m_locale;
    bool m_direct = false;
    QByteArray m_group;
    QByteArray m_point;
    QByteArray m_prefix[2]; // [0] positive and zero, [1] negative
    QByteArray m_suffix[2];
};
