#pragma once

#include "data/ParallelParts.h"
#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"

#include <QtGlobal>
#include <optional>
#include <vector>

// The rows of a result in the order of one column's values, for a sort by a click on
// the column's header: nulls first, then numbers as numbers, dates and times in time
// order, texts in the collation of the forms' locale (on their first
// kCollatedCharacters characters), binary contents byte by byte. Rows of equal values
// keep the order they had (the sort is stable), in either direction; descending is
// the ascending order reversed, nulls last.
namespace RowOrder
{

inline constexpr qsizetype kCollatedCharacters = 4096;

// The store's row shown at each place, from the first to the last; nothing when
// progress, called every few thousand rows and while the cores sort, asked to stop.
[[nodiscard]] std::optional<std::vector<qsizetype>> sorted(const ResultStore& store, int column, TFieldType type,
    const TextForms& forms, Qt::SortOrder order, const ParallelParts::Progress& progress = {});

} // namespace RowOrder
