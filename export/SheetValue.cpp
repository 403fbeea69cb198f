#include "export/SheetValue.h"

#include "data/NumericText.h"

#include <QDate>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

// The most digits of a decimal that a spreadsheet's number keeps.
constexpr int kExactDigits = 15;

bool isNumberType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftFloat || t == ftBCD;
}

bool isBinaryType(TFieldType t)
{
    return (isBlobType(t) && !isMemoType(t)) || t == ftBytes || t == ftVarBytes;
}

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

// A number cell, or nothing when it holds no number that a spreadsheet keeps exactly.
std::optional<double> numberOf(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Integer:
        if (c.integer >= -SheetValue::kLargestExact && c.integer <= SheetValue::kLargestExact)
            return double(c.integer);
        return std::nullopt;
    case CellClass::Float:
        if (std::isfinite(c.real))
            return c.real;
        return std::nullopt;
    case CellClass::Text: {
        // An exact decimal as a server writes it ("-123.4500").
        const std::string_view text = bytesOf(c);
        if (!NumericText::isDecimalText(text))
            return std::nullopt;
        int digits = 0;
        for (const char ch : text)
            digits += ch >= '0' && ch <= '9';
        if (digits > kExactDigits)
            return std::nullopt;
        return std::strtod(std::string(text).c_str(), nullptr);
    }
    default:
        return std::nullopt;
    }
}

} // namespace

SheetValue SheetValue::of(const CellRef& c, TFieldType type, const TextForms& forms)
{
    SheetValue v;
    if (c.cls == CellClass::Null)
        return v;
    v.kind = Text;
    if (isBinaryType(type)) {
        if (c.cls == CellClass::Blob || c.cls == CellClass::Text) {
            v.kind = ByteCount;
            v.number = double(c.size);
        }
    } else if (isNumberType(type)) {
        if (const auto number = numberOf(c)) {
            v.kind = Number;
            v.number = *number;
        }
    } else if (type == ftCurrency) {
        if (c.cls != CellClass::Blob) {
            if (const auto units = TextForms::currencyUnits(c)) {
                v.kind = Amount;
                v.number = double(*units) / 10000.0;
            }
        }
    } else if (type == ftBoolean) {
        if (c.cls == CellClass::Integer || c.cls == CellClass::Float) {
            v.kind = Truth;
            v.number = (c.cls == CellClass::Integer ? c.integer != 0 : c.real != 0) ? 1 : 0;
        } else if (c.cls == CellClass::Text) {
            // The text forms read the truth values that a text may spell.
            const QString form = forms.textOf(c, type);
            if (form == QLatin1String("Vrai") || form == QLatin1String("Faux")) {
                v.kind = Truth;
                v.number = form == QLatin1String("Vrai") ? 1 : 0;
            }
        }
    } else if (c.cls == CellClass::Text && (type == ftDate || type == ftDateTime)) {
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c))) {
            v.kind = type == ftDate ? Date : DateTime;
            v.day = stamp->date;
            v.time = type == ftDate ? QTime(0, 0) : stamp->time.value_or(QTime(0, 0));
        }
    } else if (c.cls == CellClass::Text && type == ftTime) {
        if (const auto time = IsoDateTime::time(bytesOf(c))) {
            v.kind = Time;
            v.time = *time;
        }
    }
    return v;
}

bool SheetValue::hasSerial() const
{
    return (kind != Date && kind != DateTime) || (day.year >= 1900 && day.year <= 9999);
}

void SheetValue::appendIso(QByteArray& out) const
{
    char text[40];
    int n = 0;
    if (kind == Date || kind == DateTime)
        n += std::snprintf(text, sizeof text, "%04d-%02d-%02d", day.year, day.month, day.day);
    if (kind == DateTime)
        text[n++] = 'T';
    if (kind == Time || kind == DateTime) {
        n += std::snprintf(
            text + n, sizeof text - size_t(n), "%02d:%02d:%02d", time.hour(), time.minute(), time.second());
        if (time.msec() != 0)
            n += std::snprintf(text + n, sizeof text - size_t(n), ".%03d", time.msec());
    }
    out.append(text, n);
}

double SheetValue::serial() const
{
    double days = 0;
    if (kind == Date || kind == DateTime) {
        const qint64 epoch = QDate(1899, 12, 30).toJulianDay();
        days = double(day.toDate().toJulianDay() - epoch);
        // Spreadsheets count a 29 February 1900 that never was: the days before it
        // are one less than the calendar gives.
        if (day.year == 1900 && day.month <= 2)
            days -= 1;
    }
    return days + double(time.msecsSinceStartOfDay()) / 86400000.0;
}
