#pragma once

#include "data/ParallelParts.h"
#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"

#include <QtGlobal>
#include <optional>
#include <vector>

// The rows of a result in the order of one column's values, for a sort by a click on
// the column's header, an order that holds for every value a column can hold. The
// values come in groups, as SQLite orders its classes of storage: nulls first; then
// numbers by their exact values (NumberOrder: integers, floats, and in a column of
// numbers the texts of numbers, of any length); then not a number, a float or a text
// ("NaN"), above every number; then, in a column of dates or times, the texts that
// are ones, in time order; then the other texts in the collation of the forms'
// locale (on their first kCollatedCharacters characters); binary contents last, byte
// by byte. Rows of equal values keep the order they had (the sort is stable), in
// either direction; descending is the ascending order reversed, nulls last.
namespace RowOrder
{

inline constexpr qsizetype kCollatedCharacters = 4096;

// The store's row shown at each place, from the first to the last; nothing when
// progress, called every few thousand rows and while the cores sort, asked to stop.
[[nodiscard]] std::optional<std::vector<qsizetype>> sorted(const ResultStore& store, int column, TFieldType type,
    const TextForms& forms, Qt::SortOrder order, const ParallelParts::Progress& progress = {});

} // namespace RowOrder
