#pragma once

#include <QString>

// Line ends between the forms the program stores (CR LF, as Windows writes them) and
// the form its editors and boxes take ("\n").
namespace LineEnds
{

// Text for an editor or a box: CR LF, and a CR alone, each become "\n".
[[nodiscard]] QString toLf(QString text);

// Text as stored: every "\n", paragraph end and line separator (Shift+Enter) of an
// editor's text becomes CR LF.
[[nodiscard]] QString toCrLf(QString text);

} // namespace LineEnds
