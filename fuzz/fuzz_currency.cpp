// The amount of a currency field (TField::asCurrency), in units of 1/10,000.
//
// Input: a mode byte, a locale byte, then what the mode reads:
//  0  a stored text: read exactly as a decimal number (checked, for ASCII texts,
//     against a reader that counts in 128 bits), or refused with the field's message;
//  1  a stored integer: its amount when it fits, refused otherwise;
//  2  a stored floating-point number: its amount rounded when it fits, refused otherwise;
//  3  an amount and a way of writing it ("+", leading zeros, ',' or '.', trailing
//     zeros, blanks around): the text written reads back as the amount.
// No mode may overflow (the sanitizer stops the run) or crash. The exports' direct
// text of a stored number must also be the field's text, in each locale, and in mode 3
// the HTML export's currency text of the amount must carry the cents counted in 128 bits.

#include "FuzzSupport.h"
#include "export/CurrencyText.h"
#include "platform/Exceptions.h"
#include "platform/Windows1252.h"

#include <QLocale>
#include <cmath>
#include <limits>
#include <optional>

namespace
{

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
const QLocale::Language kLanguages[]
    = { QLocale::French, QLocale::English, QLocale::German, QLocale::Arabic, QLocale::Hindi };

// The amount of a field of one cell, or nothing when the field refuses it.
std::optional<qint64> amountOf(const FuzzCell& cell, QString* text = nullptr)
{
    ColumnInfo column;
    column.name = QStringLiteral("MONTANT");
    column.type = ftCurrency;
    MemoryDataSet dataSet({ column }, { { cell } });
    const TField& field = *dataSet.field(0);
    if (text)
        *text = field.asString();
    try {
        return field.asCurrency();
    } catch (const EDatabaseError& e) {
        FUZZ_CHECK(e.message().endsWith(QStringLiteral("n'est pas une valeur monétaire valide")), e.message());
        return std::nullopt;
    }
}

bool isAsciiBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A decimal number in ASCII, "[+-]digits[(.|,)digits]" with at least one digit and
// blanks around, read in 128 bits; digits past the fourth decimal are cut. Nothing
// for another text, or one whose amount is out of range.
std::optional<qint64> referenceAmount(QByteArrayView text)
{
    while (!text.isEmpty() && isAsciiBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isAsciiBlank(text.back()))
        text.chop(1);
    bool negative = false;
    if (!text.isEmpty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text = text.sliced(1);
    }
    __int128 whole = 0;
    __int128 fraction = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (!point)
                whole = qMin<__int128>(whole * 10 + (c - '0'), __int128(1) << 100);
            else if (fractionDigits < 4) {
                fraction = fraction * 10 + (c - '0');
                ++fractionDigits;
            }
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    for (; fractionDigits < 4; ++fractionDigits)
        fraction *= 10;
    const __int128 units = whole * 10000 + fraction;
    if (units > kMax)
        return std::nullopt;
    return qint64(negative ? -units : units);
}

QString amountText(std::optional<qint64> amount)
{
    return amount ? QString::number(*amount) : QStringLiteral("refused");
}

void checkText(const QByteArray& bytes)
{
    FuzzCell cell;
    cell.cls = CellClass::Text;
    cell.bytes = bytes;
    const std::optional<qint64> amount = amountOf(cell);
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii) {
        const std::optional<qint64> expected = referenceAmount(bytes);
        FUZZ_CHECK(amount == expected,
            QStringLiteral("text %1: %2, expected %3")
                .arg(shownBytes(bytes), amountText(amount), amountText(expected)));
    }
}

void checkInteger(qint64 value)
{
    FuzzCell cell;
    cell.cls = CellClass::Integer;
    cell.integer = value;
    const std::optional<qint64> amount = amountOf(cell);
    const __int128 units = __int128(value) * 10000;
    const std::optional<qint64> expected
        = units >= -__int128(kMax) && units <= kMax ? std::optional<qint64>(qint64(units)) : std::nullopt;
    FUZZ_CHECK(amount == expected,
        QStringLiteral("integer %1: %2, expected %3").arg(value).arg(amountText(amount), amountText(expected)));
}

void checkFloat(double value)
{
    FuzzCell cell;
    cell.cls = CellClass::Float;
    cell.real = value;
    const std::optional<qint64> amount = amountOf(cell);
    const long double units = static_cast<long double>(value) * 10000;
    const QString context = QStringLiteral("number %1: %2").arg(value, 0, 'g', 17).arg(amountText(amount));
    if (amount) {
        FUZZ_CHECK(std::fabs(static_cast<long double>(*amount) - units) <= 0.5L + std::fabs(units) * 1e-15L, context);
    } else {
        // Refused only when not a number, or out of range.
        FUZZ_CHECK(std::isnan(value) || std::fabs(units) >= 9223372036854775807.0L - 1024, context);
    }
}

// The text with each digit, the locale's own included, as '0', and the digits alone.
std::pair<QString, QString> frameAndDigits(const QString& text)
{
    QString frame;
    QString digits;
    for (const QChar c : text) {
        const int d = c.digitValue();
        frame += d >= 0 ? QChar(u'0') : c;
        if (d >= 0)
            digits += QChar(u'0' + d);
    }
    return { frame, digits };
}

// The currency text of an amount: its cents, rounded half away from zero in 128 bits,
// in the locale's currency form. Below 10^15 cents, a double holds those cents closely
// enough for QLocale to write them; above, the digits are compared with the reference
// and the rest with QLocale's form of a power of ten as long.
void checkCurrencyText(qint64 amount)
{
    const QLocale locale;
    const CurrencyText currency(locale);
    const QString text = currency.text(amount);
    QByteArray bytes;
    currency.append(bytes, amount);
    FUZZ_CHECK(bytes == Windows1252::encode(text, Windows1252::Unmappable::CharacterReference),
        QStringLiteral("%1: bytes %2 for %3").arg(amount).arg(shownBytes(bytes), text));

    const __int128 size = amount < 0 ? -__int128(amount) : __int128(amount);
    const __int128 cents = (size + 50) / 100;
    const double sign = amount < 0 && cents != 0 ? -1.0 : 1.0;
    const QString context = QStringLiteral("%1 in %2: %3").arg(amount).arg(locale.name(), text);
    if (cents < __int128(1000000000000000)) {
        FUZZ_CHECK(text == locale.toCurrencyString(sign * double(qint64(cents)) / 100.0, QString(), 2), context);
        return;
    }
    QByteArray digits
        = QByteArray::number(qint64(cents / 100)) + QByteArray::number(qint64(cents % 100) + 100).sliced(1);
    const auto [frame, shownDigits] = frameAndDigits(text);
    FUZZ_CHECK(shownDigits == QString::fromLatin1(digits), context);
    const double power = std::pow(10.0, double(digits.size() - 3));
    FUZZ_CHECK(frame == frameAndDigits(locale.toCurrencyString(sign * power, QString(), 2)).first, context);
}

// An amount written one of the ways a person or a program writes it.
void checkRoundTrip(qint64 amount, FuzzInput& input)
{
    if (amount == std::numeric_limits<qint64>::min())
        amount = -kMax;
    const quint8 style = input.byte();
    const quint8 blanks = input.byte();
    const quint64 size = amount < 0 ? 0 - quint64(amount) : quint64(amount);
    QByteArray text(blanks & 3, ' ');
    text += QByteArray((blanks >> 2) & 1, '\t');
    if (amount < 0)
        text += '-';
    else if (style & 1)
        text += '+';
    text += QByteArray((style >> 1) & 3, '0');
    text += QByteArray::number(size / 10000);
    QByteArray fraction = QByteArray::number(size % 10000).rightJustified(4, '0');
    if (style & 8)
        while (fraction.endsWith('0'))
            fraction.chop(1);
    fraction += QByteArray((style >> 4) & 3, '0');
    if (!fraction.isEmpty() || (style & 64))
        text += ((style & 128) ? ',' : '.') + fraction;
    text += QByteArray((blanks >> 3) & 3, ' ');
    FuzzCell cell;
    cell.cls = CellClass::Text;
    cell.bytes = text;
    const std::optional<qint64> read = amountOf(cell);
    FUZZ_CHECK(read == amount,
        QStringLiteral("amount %1 written %2 reads %3").arg(amount).arg(shownBytes(text), amountText(read)));
}

// The exports' direct text of a stored number against the field's text.
void checkNumberText(const FuzzCell& cell)
{
    ColumnInfo column;
    column.type = ftCurrency;
    MemoryDataSet dataSet({ column }, { { cell } });
    const TField& field = *dataSet.field(0);
    QByteArray direct;
    field.appendText1252(direct, Windows1252::Unmappable::QuestionMark);
    const QByteArray expected = Windows1252::encode(field.asString());
    FUZZ_CHECK(direct == expected,
        QStringLiteral("%1: direct %2, text %3").arg(QLocale().name(), shownBytes(direct), shownBytes(expected)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const int mode = input.pick(4);
    QLocale::setDefault(QLocale(kLanguages[input.pick(std::size(kLanguages))]));
    FuzzCell number;
    switch (mode) {
    case 0:
        checkText(input.rest());
        break;
    case 1:
        number.cls = CellClass::Integer;
        number.integer = input.number<qint64>();
        checkInteger(number.integer);
        checkNumberText(number);
        break;
    case 2:
        number.cls = CellClass::Float;
        number.real = input.number<double>();
        checkFloat(number.real);
        checkNumberText(number);
        break;
    default: {
        const qint64 amount = input.number<qint64>();
        checkCurrencyText(amount);
        checkRoundTrip(amount, input);
        break;
    }
    }
    return 0;
}
