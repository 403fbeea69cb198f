#pragma once

#include "data/IsoDateTime.h"

#include <QString>
#include <QtGlobal>
#include <string_view>
#include <vector>

// The texts of numbers and of dates in a numeric format, written as ASCII with '.' for
// the decimal point (the text forms put the user's separator in its place). Each writer
// writes at w and returns the end.
namespace NumericText
{

// The most bytes a writer below writes.
constexpr int kLongest = 64;

// An integer as plain digits: "-123".
char* writeInteger(char* w, qint64 value);

// A float with up to 15 significant digits, laid out as "%.15g" does ("0.1", "1e+21",
// "-inf", "nan"), as QString::number(value, 'g', 15) writes it.
char* writeFloat(char* w, double value);

// An amount in units of 1/10,000 as plain digits with its decimals, trailing zeros left
// out, in integer arithmetic: "-1234.5" for -12,345,000 units.
char* writeAmount(char* w, qint64 units);

// An exact decimal as a server writes it: "-123.4500", every digit kept.
bool isDecimalText(std::string_view text);

// One field of a date format made of numbers only: 'd', 'M' or 'y' with its width in
// letters ("dd" is 2), or a literal byte when field is 0.
struct DatePart {
    char field;
    int width;
    char literal;
};

// A date format as numeric parts ("dd/MM/yyyy", "M/d/yyyy"); empty when it has anything
// else: names of months or days, quoted text, non-ASCII letters, or characters that a
// text or HTML file would escape.
std::vector<DatePart> dateParts(const QString& format);
// The most parts that writeDate() takes.
constexpr size_t kMostDateParts = 16;
// A date in those parts (at most kMostDateParts).
char* writeDate(char* w, const IsoDateTime::Day& date, const std::vector<DatePart>& parts);

} // namespace NumericText
