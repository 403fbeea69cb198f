#pragma once

#include <QString>

class QLabel;

namespace AccessibleLabel
{

// Gives a label that shows a changing value (a count) a fixed accessible name: a
// screen reader announces the name, then the label's text of the moment as its
// description. Without it the label has no name while it shows nothing.
void nameWithTextAsDescription(QLabel* label, const QString& name);

} // namespace AccessibleLabel
