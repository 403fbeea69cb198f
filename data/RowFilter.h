#pragma once

#include "data/ParallelParts.h"
#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"

#include <QString>
#include <optional>
#include <vector>

class TField;

// Which rows of a result a condition on one column keeps: the filter of the grid's
// header menu. Every value a column can hold is tested exactly:
// - "contient": the text the grid shows for the cell holds the value, letter case
//   ignored by Unicode's case folding, the same on every machine (CellSearch);
// - "est égal à": in a column of numbers, a value that reads as a number equals the
//   cells of the same value: integers and the texts of exact decimals (a server's long
//   ones) compared exactly (NumberOrder: "1,50" equal to "1.5"), floats with the value
//   read as a float, as the database reads a literal (the float 0.3 equals "0,3",
//   which it shows); in a column of dates or times, a
//   date or time equals the cells of that moment (a date alone, on a column of
//   date-times, the whole day); anything else equals the cells whose shown text is
//   that text, letter case kept. A null equals nothing;
// - "est vide": a null, or a text or binary content of no byte (a text of blanks is
//   not empty); "n'est pas vide": every other cell;
// - "est compris entre", in columns of numbers, dates and times only: the cells from
//   the first bound to the second, both kept; a bound left empty leaves that side open.
//   Cells that are not numbers (moments) there, nulls and "not a number", are outside.
// Values are typed as the grid shows them: numbers with the decimal separator of the
// regional settings or a point, dates and times in their short formats or in ISO 8601.
namespace RowFilter
{

enum class Test : quint8 { Contains, Equals, Empty, NotEmpty, Between };

struct Condition {
    Test test = Test::Contains;
    QString value; // what is looked for; the first bound of Between
    QString upTo; // the second bound of Between
    bool operator==(const Condition&) const = default;
};

// Whether a column of that type offers Between.
[[nodiscard]] bool ordered(TFieldType type);

// Why the condition cannot filter a column of that type ("« abc » n'est pas un
// nombre"); empty when it can.
[[nodiscard]] QString problem(const Condition& condition, TFieldType type, const TextForms& forms);

// The condition in words: "contient « Dupont »", "est compris entre 1 et 5".
[[nodiscard]] QString described(const Condition& condition);

// "12 enregistrements affichés sur 1000": the records shown of all, in plain digits.
[[nodiscard]] QString shownOf(qsizetype shown, qsizetype all);

// For each row of the store, 1 when its cell of field passes the condition, else 0;
// the rows are read on every core while progress is called. Nothing when progress
// asked to stop. Throws Exception(problem()) for a condition that cannot filter it.
[[nodiscard]] std::optional<std::vector<quint8>> passing(const ResultStore& store, const TField& field,
    const Condition& condition, const ParallelParts::Progress& progress = {});

} // namespace RowFilter
