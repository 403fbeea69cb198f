#pragma once

#include "engine/ResultStore.h"

#include <string_view>

// Numbers as a column holds them, in one exact order: integers, floats and the texts of
// numbers (a server's exact decimals, of any length) by their values, never through a
// rounded double; the infinities at the ends, -0 equal to 0. Equal values: a number
// stored as a number before a text, texts byte by byte ("1.5" before "1.50").
//
// A text of a number is, blanks around it aside, one sign at most, then digits with a
// point and an exponent of at most 18 digits ("-12.50", ".5", "7.", "1E-3"), or a name
// of infinity ("inf", "Infinity"). A name of not a number ("nan", "NaN", "-nan(1)")
// reads as not a number, which no number equals: it has a place of its own.
namespace NumberOrder
{

enum class Kind : quint8 { None, Number, NotANumber };

// A number's place among doubles: its value rounded to one, by a rounding that keeps
// the order (a < b gives rounded(a) <= rounded(b)), and whether that is its value
// exactly. Two numbers whose rounded values differ are in that order; when they are
// equal and one is not exact, compare() orders them.
struct Reading {
    Kind kind = Kind::None;
    double rounded = 0;
    bool exact = true;
};

// An integer or float cell (a float NaN is not a number), or a text cell read as the
// text of a number; None for every other cell.
[[nodiscard]] Reading read(const CellRef& cell);

// -1, 0 or 1 as a is below, equal to or above b; both cells read as numbers.
[[nodiscard]] int compare(const CellRef& a, const CellRef& b);
// The same by their values alone: "1.50", "1.5" and the float 1.5 are equal.
[[nodiscard]] int compareValues(const CellRef& a, const CellRef& b);

} // namespace NumberOrder
