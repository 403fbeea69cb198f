#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

// Amounts in the currency style of a locale with two decimals: the symbol, grouping and
// negative form that QLocale::toCurrencyString() gives, around the digits of the
// fixed-point amount itself, rounded half away from zero to the cent. No amount goes
// through a double, so the largest ones keep their cents. As a QString, or appended in
// Windows-1252 with character references; the bytes are written straight, without a
// QString, for the locales whose direct form checks out against the QString form.
class CurrencyText
{
public:
    explicit CurrencyText(const QLocale& locale);

    // amount in units of 1/10,000 (a currency field's value).
    void append(QByteArray& out, qint64 amount) const;
    [[nodiscard]] QString text(qint64 amount) const;

private:
    struct Cents {
        bool negative;
        quint64 size;
    };
    [[nodiscard]] static Cents roundedCents(qint64 amount);
    void learnForm();
    [[nodiscard]] bool learnDirect();
    void appendDirect(QByteArray& out, Cents cents) const;

    QLocale m_locale;
    QString m_point;
    QString m_digits[10];
    QString m_prefix[2]; // [0] zero and positive amounts, [1] negative ones
    QString m_suffix[2];

    bool m_direct = false;
    int m_groupFrom = 0; // the fewest whole digits that the locale groups by three; 0: never
    QByteArray m_groupBytes;
    QByteArray m_pointBytes;
    QByteArray m_prefixBytes[2];
    QByteArray m_suffixBytes[2];
};
