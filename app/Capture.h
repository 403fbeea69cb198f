#pragma once

#include <QString>
#include <QStringList>

class TField;

// The rules by which clicks on the query window's grid build the cell memo's text.
namespace Capture
{

// What a cell gives to the capture: the field's value as text (not as the grid shows
// it), nothing where there is no field.
[[nodiscard]] QString cellText(const TField* field);

// The memo after "Ajouter cellule": the cell alone in an empty memo, otherwise after
// the memo and the separator. A memo of blanks is not empty.
[[nodiscard]] QString addCell(const QString& memo, const QString& separator, const QString& cell);

// The memo after "Ajouter ligne" with the cells of a row in the order shown: each cell
// after the separator, except the first one into an empty memo.
[[nodiscard]] QString addRow(const QString& memo, const QString& separator, const QStringList& cells);

} // namespace Capture
