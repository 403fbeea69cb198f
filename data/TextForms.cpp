#include "data/TextForms.h"

#include "data/IsoDateTime.h"
#include "data/TextSinks.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <limits>

namespace
{

bool isIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}

// A logical column's text longer than this is no truth value, whatever blanks
// surround a word: a long text is never read whole to find out.
constexpr qsizetype kLongestTruth = 256;

// The largest amount a currency value may hold, in units of 1/10,000, either side of
// zero: the value × 10,000 fits a qint64, and so does its opposite.
constexpr qint64 kLargestUnits = std::numeric_limits<qint64>::max();

// Texts that a logical column may hold.
int booleanOf(QStringView s)
{
    static const char* const truths[] = { "1", "true", "t", "vrai", "yes", "y", "oui" };
    static const char* const falsehoods[] = { "0", "false", "f", "faux", "no", "n", "non" };
    const QString lower = s.trimmed().toString().toLower();
    for (const char* t : truths)
        if (lower == QLatin1String(t))
            return 1;
    for (const char* f : falsehoods)
        if (lower == QLatin1String(f))
            return 0;
    return -1;
}

// Parses a decimal text exactly into units of 1/10,000.
bool parseCurrency(QStringView s, qint64& out)
{
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    bool negative = false;
    qsizetype i = 0;
    if (s[0] == u'-' || s[0] == u'+') {
        negative = s[0] == u'-';
        ++i;
    }
    qint64 whole = 0;
    qint64 fraction = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isDigit()) {
            digits = true;
            const int d = c.digitValue();
            if (point) {
                if (fractionDigits < 4) {
                    fraction = fraction * 10 + d;
                    ++fractionDigits;
                }
            } else {
                if (whole > (kLargestUnits / 10000 - d) / 10)
                    return false;
                whole = whole * 10 + d;
            }
        } else if ((c == u'.' || c == u',') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    while (fractionDigits++ < 4)
        fraction *= 10;
    if (whole * 10000 > kLargestUnits - fraction)
        return false;
    out = whole * 10000 + fraction;
    if (negative)
        out = -out;
    return true;
}

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

// ASCII written by a NumericText writer into a buffer of its longest size.
template <class Sink, class Write> void writeAscii(Sink& sink, Write write)
{
    char text[NumericText::kLongest];
    sink.ascii({ text, size_t(write(text) - text) });
}

template <class Sink> void writeTruth(Sink& sink, bool truth)
{
    sink.ascii(truth ? "Vrai" : "Faux");
}

// Calls f(c, run, quoted) for each run of one character of a QLocale date or time format;
// quoted runs are literal text (a quote itself comes as a run of its own).
template <class F> void forEachRun(const QString& format, F f)
{
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (c == u'\'')
            quoted = run % 2 ? !quoted : quoted;
        f(c, run, quoted || c == u'\'', i);
        i += run;
    }
}

// A short format as the desktops the program serves write it: the year in four digits
// and a time with its seconds. Qt's short formats, from CLDR, cut the year to two digits
// in many locales ("M/d/yy", "dd.MM.yy"), and a spreadsheet then reads 1924 back as 2024;
// they leave out the seconds in most. The seconds follow the minutes, after the same
// separator. A format that already has them, or a four-digit year ("dd/MM/yyyy"), is
// kept as it is.
QString withCenturyAndSeconds(const QString& format)
{
    bool seconds = false;
    forEachRun(format, [&](QChar c, qsizetype, bool quoted, qsizetype) { seconds |= !quoted && c == u's'; });
    QString out;
    forEachRun(format, [&](QChar c, qsizetype run, bool quoted, qsizetype at) {
        if (!quoted && c == u'y' && run == 2) {
            out += QStringLiteral("yyyy");
            return;
        }
        out += QStringView(format).sliced(at, run);
        if (!quoted && c == u'm' && !seconds) {
            const QChar before = at > 0 ? format[at - 1] : QChar(u':');
            out += (before.isLetter() || before == u'\'' ? QChar(u':') : before) + QStringLiteral("ss");
            seconds = true;
        }
    });
    return out;
}

} // namespace

TextForms TextForms::current()
{
    TextForms f;
    f.locale = QLocale();
    f.decimalPoint = f.locale.decimalPoint().isEmpty() ? QChar(u'.') : f.locale.decimalPoint().front();
    f.dateFormat = withCenturyAndSeconds(f.locale.dateFormat(QLocale::ShortFormat));
    f.timeFormat = withCenturyAndSeconds(f.locale.timeFormat(QLocale::ShortFormat));
    f.dateTimeFormat = withCenturyAndSeconds(f.locale.dateTimeFormat(QLocale::ShortFormat));
    // Locales that write their own digits keep to QLocale.
    if (f.locale.zeroDigit() == QLatin1String("0"))
        f.numericDate = NumericText::dateParts(f.dateFormat);
    return f;
}

template <class Sink> void TextForms::write(Sink& sink, const CellRef& c, TFieldType type) const
{
    switch (c.cls) {
    case CellClass::Null:
        return;
    case CellClass::Integer:
        if (type == ftBoolean)
            writeTruth(sink, c.integer != 0);
        else
            writeAscii(sink, [&](char* w) { return NumericText::writeInteger(w, c.integer); });
        return;
    case CellClass::Float:
        writeFloat(sink, c, type);
        return;
    case CellClass::Text:
        if (!formsStoredText(type) || !writeFormatted(sink, c, type))
            sink.utf8(bytesOf(c));
        return;
    case CellClass::Blob:
        sink.bytes1252(bytesOf(c));
        return;
    }
}

template <class Sink> void TextForms::writeFloat(Sink& sink, const CellRef& c, TFieldType type) const
{
    const double value = c.real;
    if (type == ftBoolean) {
        writeTruth(sink, value != 0);
        return;
    }
    char text[NumericText::kLongest];
    char* end = nullptr;
    if (isIntegerType(type) && std::abs(value) < 9e15 && value == std::trunc(value)) {
        end = NumericText::writeInteger(text, qint64(value));
    } else if (type == ftCurrency) {
        if (const std::optional<qint64> units = currencyUnits(c))
            end = NumericText::writeAmount(text, *units);
    }
    if (!end)
        end = NumericText::writeFloat(text, value);
    sink.number({ text, size_t(end - text) }, decimalPoint);
}

template <class Sink> bool TextForms::writeFormatted(Sink& sink, const CellRef& c, TFieldType type) const
{
    switch (type) {
    case ftDate:
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c))) {
            writeDate(sink, stamp->date);
            return true;
        }
        break;
    case ftTime:
        if (const auto time = IsoDateTime::time(bytesOf(c))) {
            sink.text(locale.toString(*time, timeFormat));
            return true;
        }
        break;
    case ftDateTime:
        // Shown as written, whatever its zone: read as UTC, no time falls into a change
        // of daylight saving and moves.
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c))) {
            sink.text(locale.toString(
                QDateTime(stamp->date.toDate(), stamp->time.value_or(QTime(0, 0)), Qt::UTC), dateTimeFormat));
            return true;
        }
        break;
    case ftBCD:
        // Every digit as stored, with the user's decimal separator.
        if (NumericText::isDecimalText(bytesOf(c))) {
            sink.number(bytesOf(c), decimalPoint);
            return true;
        }
        break;
    case ftBoolean:
        if (c.size <= kLongestTruth) {
            if (const int b = booleanOf(Utf8::decode(QByteArrayView(c.data, c.size))); b >= 0) {
                writeTruth(sink, b != 0);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return false;
}

template <class Sink> void TextForms::writeDate(Sink& sink, const IsoDateTime::Day& date) const
{
    if (numericDate.empty())
        sink.text(locale.toString(date.toDate(), dateFormat));
    else
        writeAscii(sink, [&](char* w) { return NumericText::writeDate(w, date, numericDate); });
}

QString TextForms::textOf(const CellRef& c, TFieldType type) const
{
    QStringTextSink sink;
    write(sink, c, type);
    return sink.take();
}

QString TextForms::textStart(const CellRef& c, TFieldType type, qsizetype units) const
{
    QStringTextSink sink(qMax<qsizetype>(units, 0));
    write(sink, c, type);
    return sink.take();
}

void TextForms::appendText1252(QByteArray& out, CellRef c, TFieldType type, Windows1252::Unmappable policy) const
{
    Bytes1252TextSink sink(out, policy);
    write(sink, c, type);
}

void TextForms::appendTextUtf8(QByteArray& out, const CellRef& c, TFieldType type) const
{
    Utf8TextSink sink(out);
    write(sink, c, type);
}

QStringList TextForms::widestTexts(TFieldType type) const
{
    // The samples go through textOf(), as stored values do. Dates fall on a two-digit
    // day of every month and, the 22nd to the 28th, on every day of the week; times on
    // two-digit hours, morning and evening; amounts reach ten million, with cents and a
    // sign.
    // Only the types that have a widest text make the samples: every column asks.
    if (type != ftDate && type != ftTime && type != ftDateTime && type != ftBoolean && type != ftCurrency)
        return {};
    QStringList days;
    if (type == ftDate || type == ftDateTime)
        for (int month = 1; month <= 12; ++month)
            for (int day = 22; day <= 28; ++day)
                days << QStringLiteral("2000-%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day);
    const QStringList hours { QStringLiteral("10:58:58"), QStringLiteral("22:58:58") };
    QStringList stored;
    switch (type) {
    case ftDate:
        stored = days;
        break;
    case ftTime:
        stored = hours;
        break;
    case ftDateTime:
        for (const QString& day : std::as_const(days))
            for (const QString& hour : hours)
                stored << day + u' ' + hour;
        break;
    case ftBoolean:
        stored = { QStringLiteral("1"), QStringLiteral("0") };
        break;
    case ftCurrency: {
        CellRef amount;
        amount.cls = CellClass::Float;
        amount.real = -9999999.99;
        return { textOf(amount, type) };
    }
    default:
        return {};
    }
    QStringList texts;
    texts.reserve(stored.size());
    for (const QString& text : std::as_const(stored)) {
        const QByteArray utf8 = text.toUtf8();
        CellRef cell;
        cell.cls = CellClass::Text;
        cell.data = utf8.constData();
        cell.size = utf8.size();
        texts << textOf(cell, type);
    }
    return texts;
}

void TextForms::appendContents(QByteArray& out, const CellRef& c, TFieldType type) const
{
    if (c.cls == CellClass::Blob || (c.cls == CellClass::Text && isBlobType(type) && !isMemoType(type)))
        out.append(c.data, c.size);
    else
        appendText1252(out, c, type, Windows1252::Unmappable::QuestionMark);
}

qint64 TextForms::amountOf(const CellRef& c, TFieldType type) const
{
    if (const std::optional<qint64> units = currencyUnits(c))
        return *units;
    throw EDatabaseError(QStringLiteral("'%1' n'est pas une valeur monétaire valide").arg(textOf(c, type)));
}

bool TextForms::formsStoredText(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime || t == ftBoolean || t == ftBCD;
}

std::optional<qint64> TextForms::currencyUnits(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Null:
        return 0;
    case CellClass::Integer:
        if (c.integer < -(kLargestUnits / 10000) || c.integer > kLargestUnits / 10000)
            break;
        return c.integer * 10000;
    case CellClass::Float: {
        // Below 2^63 in size (false for NaN): rounds to a qint64 other than its minimum.
        const double units = c.real * 10000.0;
        if (!(std::abs(units) < 9223372036854775808.0))
            break;
        return std::llround(units);
    }
    case CellClass::Text: {
        qint64 v = 0;
        if (parseCurrency(Utf8::decode(QByteArrayView(c.data, c.size)), v))
            return v;
        break;
    }
    case CellClass::Blob:
        break;
    }
    return std::nullopt;
}
