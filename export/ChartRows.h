#pragma once

#include "data/ChartData.h"
#include "engine/FieldType.h"

class TDataSet;

// A chart's data read from a result as the grid shows it: its records in the order
// shown (sorted, filtered), the X column's kind from its type. A text column whose
// every value is an ISO date ("2024-03-07", as SQLite's date functions write them)
// goes on a time axis as a date column does. Values are numbers, amounts and truth
// values; a cell without one is NaN.
namespace ChartRows
{

// Whether a column of this type holds values a chart can draw as heights.
[[nodiscard]] bool isNumeric(TFieldType type);
// Throws EDatabaseError for a closed data set.
[[nodiscard]] ChartData read(TDataSet& data, const ChartChoice& choice);
// The series' name when counting records.
[[nodiscard]] QString countName();

} // namespace ChartRows
