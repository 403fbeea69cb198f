#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The rules of the drop-down list of statements: its order, and which lines of the
// remembered list a refresh pass adds to it. Statements are compared exactly (letter
// case, blanks and length all count).
namespace RememberedList
{

// The order of the sorted drop-down list: letter case ignored first, then counted.
[[nodiscard]] bool sortsBefore(const QString& a, const QString& b);

// The lines of the list memo's text: split at CR LF, a final empty line not counted.
[[nodiscard]] QStringList memoLines(const QString& text);

// The list memo's text with line added as its last line: every line ended by CR LF.
[[nodiscard]] QString withLine(const QString& text, const QString& line);

// The lines a refresh pass adds to a list that holds listed, in order: every line of
// the memo that is neither listed already nor added by an earlier line of the same
// pass. A line already there is passed over and the pass goes on to the last line, so
// every remembered statement is offered, and a repeated line (an empty one too) is
// offered once.
[[nodiscard]] QStringList linesToAdd(const QStringList& lines, const QSet<QString>& listed);

// Where text takes its place among items sorted by sortsBefore: after every item that
// does not sort after it. itemAt(i) gives item i of count.
template <class ItemAt> int insertPosition(int count, const QString& text, ItemAt&& itemAt)
{
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (sortsBefore(text, itemAt(middle)))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

} // namespace RememberedList
