#include "data/RowFilter.h"

#include "data/CellSearch.h"
#include "data/Field.h"
#include "data/IsoDateTime.h"
#include "data/NumberOrder.h"
#include "platform/Exceptions.h"

#include <QDateTime>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace
{

using RowFilter::Condition;
using RowFilter::Test;

// Rows tested between two looks at whether to stop.
constexpr qsizetype kRowsPerCheck = 4096;
// Rows a part of the work takes at least: below it, a thread costs more than it saves.
constexpr qsizetype kLeastPart = 65536;

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

CellRef textCell(const QByteArray& bytes)
{
    CellRef c;
    c.cls = CellClass::Text;
    c.data = bytes.constData();
    c.size = bytes.size();
    return c;
}

QString quoted(const QString& text)
{
    return QStringLiteral("« %1 »").arg(text);
}

// A number as typed, in the form NumberOrder reads: blanks (thousands) left out, the
// decimal separator of the regional settings or a point; nothing when it is none.
std::optional<QByteArray> typedNumber(const QString& typed, const TextForms& forms)
{
    QString s = typed.trimmed();
    s.remove(QChar(u' ')).remove(QChar(0x00A0)).remove(QChar(0x202F));
    if (forms.decimalPoint != QChar(u'.'))
        s.replace(forms.decimalPoint, QChar(u'.'));
    for (const QChar c : s)
        if (c.unicode() >= 0x80)
            return std::nullopt;
    QByteArray bytes = s.toLatin1();
    if (bytes.isEmpty() || NumberOrder::read(textCell(bytes)).kind != NumberOrder::Kind::Number)
        return std::nullopt;
    return bytes;
}

// The moments a typed date or time stands for, on IsoDateTime's time line: as many as
// it was typed to the precision of (a date alone its whole day, a time to the minute
// its whole minute).
struct Span {
    double low = 0;
    double high = 0;
};

// How long a moment typed in format lasts, less a millisecond.
double lastingOf(const QString& format)
{
    if (!format.contains(QLatin1Char('h'), Qt::CaseInsensitive))
        return 86400000.0 - 1;
    if (format.contains(QLatin1Char('z')))
        return 0;
    return format.contains(QLatin1Char('s')) ? 999 : 59999;
}

std::optional<Span> typedMoment(const QString& typed, TFieldType type, const TextForms& forms)
{
    const QString s = typed.trimmed();
    const bool timeOfDay = type == ftTime;
    const QByteArray iso = s.toUtf8();
    if (const auto at = IsoDateTime::moment(std::string_view(iso.constData(), size_t(iso.size())), timeOfDay)) {
        // "2024-03-07", "10:30", "10:30:15", then fractions: the precision by the length.
        const qsizetype timeLength = timeOfDay ? iso.size() : iso.size() - 11;
        const double lasting = !timeOfDay && iso.size() == 10 ? 86400000.0 - 1
            : timeLength == 5                                 ? 59999
            : timeLength == 8                                 ? 999
                                                              : 0;
        return Span { *at, *at + lasting };
    }
    // A time in the short format, with or without its seconds; a date in the short
    // format, alone or followed by such a time. Read apart from any time zone, so that
    // a time that a change of daylight saving skips is still a time.
    const QString timeFormats[] = { forms.timeFormat, QString(forms.timeFormat).remove(QStringLiteral(":ss")) };
    const auto readTime = [&](const QString& text) -> std::optional<Span> {
        for (const QString& format : timeFormats)
            if (const QTime read = forms.locale.toTime(text, format); read.isValid())
                return Span { double(read.msecsSinceStartOfDay()), read.msecsSinceStartOfDay() + lastingOf(format) };
        return std::nullopt;
    };
    if (timeOfDay)
        return readTime(s);
    if (const QDate day = forms.locale.toDate(s, forms.dateFormat); day.isValid()) {
        const double at = double(day.toJulianDay()) * 86400000.0;
        return Span { at, at + lastingOf(forms.dateFormat) };
    }
    for (qsizetype blank = s.indexOf(QLatin1Char(' ')); blank > 0; blank = s.indexOf(QLatin1Char(' '), blank + 1)) {
        const QDate day = forms.locale.toDate(s.left(blank), forms.dateFormat);
        const std::optional<Span> time = day.isValid() ? readTime(s.mid(blank + 1)) : std::nullopt;
        if (time) {
            const double start = double(day.toJulianDay()) * 86400000.0;
            return Span { start + time->low, start + time->high };
        }
    }
    return std::nullopt;
}

QString notAValue(const QString& typed, TFieldType type)
{
    if (isNumericType(type))
        return QStringLiteral("%1 n'est pas un nombre").arg(quoted(typed));
    if (type == ftTime)
        return QStringLiteral("%1 n'est pas une heure").arg(quoted(typed));
    return QStringLiteral("%1 n'est pas une date").arg(quoted(typed));
}

// A number bound: its text, its place among doubles, and the float it reads as.
struct NumberBound {
    QByteArray text;
    NumberOrder::Reading reading;
    double asFloat = 0;
};

// The float nearest to a number text, as a database reads a literal: past the largest
// float an infinity, below the smallest a zero.
double floatOf(const QByteArray& text, const NumberOrder::Reading& reading)
{
    const char* begin = text.constData() + (text.startsWith('+') ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(begin, text.constData() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return reading.rounded == 0 ? std::copysign(0.0, reading.rounded)
                                    : std::copysign(std::numeric_limits<double>::infinity(), reading.rounded);
    return value;
}

std::optional<NumberBound> numberBound(const QString& typed, const TextForms& forms)
{
    auto text = typedNumber(typed, forms);
    if (!text)
        return std::nullopt;
    const NumberOrder::Reading reading = NumberOrder::read(textCell(*text));
    const double asFloat = floatOf(*text, reading);
    return NumberBound { std::move(*text), reading, asFloat };
}

// A number cell against a bound. A float cell meets the bound read as a float, as the
// database compares a float column with a literal (the float shown as "0,3" equals
// 0,3); integers and the texts of exact decimals meet it exactly: by the rounded
// values when they differ (the rounding keeps the order), else by the digits.
int compareNumber(const CellRef& c, const NumberOrder::Reading& r, const NumberBound& b)
{
    if (c.cls == CellClass::Float)
        return c.real < b.asFloat ? -1 : c.real > b.asFloat ? 1 : 0;
    if (r.rounded != b.reading.rounded)
        return r.rounded < b.reading.rounded ? -1 : 1;
    if (r.exact && b.reading.exact)
        return 0;
    return NumberOrder::compareValues(c, textCell(b.text));
}

// A condition made ready for one column; each thread tests with a copy of its own.
class Matcher
{
public:
    Matcher(const TField& field, const Condition& condition)
        : m_field(field)
        , m_test(condition.test)
        , m_search(condition.value, Qt::CaseInsensitive)
        , m_text(condition.value)
        , m_utf8(condition.value.toUtf8())
    {
        const TextForms& forms = field.dataSet()->textForms();
        const TFieldType type = field.dataType();
        m_numbers = isNumericType(type);
        m_moments = isMomentType(type);
        m_timeOfDay = type == ftTime;
        m_bytesEqual = field.showsStoredText() && !field.showsBinary() && !m_text.contains(QChar(0xFFFD));
        if (m_test != Test::Equals && m_test != Test::Between)
            return;
        const auto bound = [&](const QString& typed, std::optional<NumberBound>& number, std::optional<Span>& moment) {
            if (typed.isEmpty())
                return;
            if (m_numbers)
                number = numberBound(typed, forms);
            else if (m_moments)
                moment = typedMoment(typed, type, forms);
        };
        bound(condition.value, m_low, m_from);
        if (m_test == Test::Between)
            bound(condition.upTo, m_high, m_to);
        else
            m_to = m_from;
    }

    bool operator()(const CellRef& c)
    {
        switch (m_test) {
        case Test::Empty:
            return empty(c);
        case Test::NotEmpty:
            return !empty(c);
        case Test::Contains:
            return m_search.matches(m_field, c);
        case Test::Equals:
            if (m_low)
                return inNumbers(c, &*m_low, &*m_low);
            if (m_from)
                return inMoments(c);
            return equalText(c);
        case Test::Between:
            return m_numbers ? inNumbers(c, m_low ? &*m_low : nullptr, m_high ? &*m_high : nullptr) : inMoments(c);
        }
        return false;
    }

private:
    static bool empty(const CellRef& c)
    {
        return c.cls == CellClass::Null || ((c.cls == CellClass::Text || c.cls == CellClass::Blob) && c.size == 0);
    }

    bool inNumbers(const CellRef& c, const NumberBound* low, const NumberBound* high) const
    {
        if (c.cls != CellClass::Integer && c.cls != CellClass::Float && c.cls != CellClass::Text)
            return false;
        const NumberOrder::Reading r = NumberOrder::read(c);
        return r.kind == NumberOrder::Kind::Number && (!low || compareNumber(c, r, *low) >= 0)
            && (!high || compareNumber(c, r, *high) <= 0);
    }

    bool inMoments(const CellRef& c) const
    {
        if (c.cls != CellClass::Text)
            return false;
        const auto at = IsoDateTime::moment(bytesOf(c), m_timeOfDay);
        return at && (!m_from || *at >= m_from->low) && (!m_to || *at <= m_to->high);
    }

    bool equalText(const CellRef& c) const
    {
        if (c.cls == CellClass::Null)
            return false;
        // A stored text is its shown text but for ill-formed bytes and a leading byte
        // order mark, which decoding changes: those are compared decoded.
        if (c.cls == CellClass::Text && m_bytesEqual && !bytesOf(c).starts_with("\xEF\xBB\xBF"))
            return bytesOf(c) == std::string_view(m_utf8.constData(), size_t(m_utf8.size()));
        return m_field.shownText(c) == m_text;
    }

    const TField& m_field;
    Test m_test;
    CellSearch m_search;
    QString m_text;
    QByteArray m_utf8;
    bool m_numbers = false;
    bool m_moments = false;
    bool m_timeOfDay = false;
    bool m_bytesEqual = false;
    std::optional<NumberBound> m_low;
    std::optional<NumberBound> m_high;
    std::optional<Span> m_from;
    std::optional<Span> m_to;
};

} // namespace

namespace RowFilter
{

bool ordered(TFieldType type)
{
    return isNumericType(type) || isMomentType(type);
}

QString problem(const Condition& condition, TFieldType type, const TextForms& forms)
{
    const auto check = [&](const QString& typed) -> QString {
        if (typed.isEmpty())
            return {};
        if (isNumericType(type))
            return typedNumber(typed, forms) ? QString() : notAValue(typed, type);
        return typedMoment(typed, type, forms) ? QString() : notAValue(typed, type);
    };
    switch (condition.test) {
    case Test::Empty:
    case Test::NotEmpty:
        return {};
    case Test::Contains:
    case Test::Equals:
        return condition.value.isEmpty() ? QStringLiteral("Saisir la valeur cherchée, ou choisir « est vide »")
                                         : QString();
    case Test::Between:
        break;
    }
    if (!ordered(type))
        return QStringLiteral("Seuls les nombres, les dates et les heures se filtrent entre deux bornes");
    if (condition.value.isEmpty() && condition.upTo.isEmpty())
        return QStringLiteral("Saisir au moins une des deux bornes");
    if (QString low = check(condition.value); !low.isEmpty())
        return low;
    if (QString high = check(condition.upTo); !high.isEmpty())
        return high;
    if (condition.value.isEmpty() || condition.upTo.isEmpty())
        return {};
    bool reversed = false;
    if (isNumericType(type)) {
        const auto low = numberBound(condition.value, forms);
        const auto high = numberBound(condition.upTo, forms);
        reversed = compareNumber(textCell(low->text), low->reading, *high) > 0;
    } else {
        reversed = typedMoment(condition.value, type, forms)->low > typedMoment(condition.upTo, type, forms)->high;
    }
    return reversed ? QStringLiteral("La première borne dépasse la seconde") : QString();
}

QString described(const Condition& condition)
{
    switch (condition.test) {
    case Test::Contains:
        return QStringLiteral("contient %1").arg(quoted(condition.value));
    case Test::Equals:
        return QStringLiteral("est égal à %1").arg(quoted(condition.value));
    case Test::Empty:
        return QStringLiteral("est vide");
    case Test::NotEmpty:
        return QStringLiteral("n'est pas vide");
    case Test::Between:
        break;
    }
    if (condition.upTo.isEmpty())
        return QStringLiteral("est supérieur ou égal à %1").arg(quoted(condition.value));
    if (condition.value.isEmpty())
        return QStringLiteral("est inférieur ou égal à %1").arg(quoted(condition.upTo));
    return QStringLiteral("est compris entre %1 et %2").arg(quoted(condition.value), quoted(condition.upTo));
}

QString shownOf(qsizetype shown, qsizetype all)
{
    if (shown == 0)
        return QStringLiteral("Aucun enregistrement affiché sur %1").arg(all);
    if (shown == 1)
        return QStringLiteral("1 enregistrement affiché sur %1").arg(all);
    return QStringLiteral("%1 enregistrements affichés sur %2").arg(shown).arg(all);
}

std::optional<std::vector<quint8>> passing(
    const ResultStore& store, const TField& field, const Condition& condition, const ParallelParts::Progress& progress)
{
    if (const QString why = problem(condition, field.dataType(), field.dataSet()->textForms()); !why.isEmpty())
        throw Exception(why);
    const qsizetype rows = store.rowCount();
    std::vector<quint8> passes(size_t(rows), 0);
    const Matcher matcher(field, condition);
    const int parts = ParallelParts::partsFor(rows, kLeastPart);
    const bool done = ParallelParts::run(
        parts,
        [&](int part, const std::atomic<bool>& stop) {
            Matcher own = matcher;
            ResultStore::Place place;
            const qsizetype end = rows * (part + 1) / parts;
            for (qsizetype row = rows * part / parts; row < end; ++row) {
                if (row % kRowsPerCheck == 0 && stop)
                    return;
                passes[size_t(row)] = own(store.cell(row, field.index(), place)) ? 1 : 0;
            }
        },
        progress);
    if (!done)
        return std::nullopt;
    return passes;
}

} // namespace RowFilter
