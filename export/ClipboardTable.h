#pragma once

#include "data/DataSet.h"
#include "export/RecordProgress.h"

#include <QList>
#include <QString>

// Columns of a data set as other programs paste them: tab-separated text with a
// header row for spreadsheets and text editors, and an HTML table for word
// processors. Cells hold the text the grid shows, whole, in the order shown.
//
// In the text, a cell that holds a tab, a line break or a double quote is put in
// double quotes, its own double quotes doubled, as spreadsheets read it back into one
// cell; every other cell is written as it is. Rows end with a line feed. In the
// table, cells are HTML text as the HTML export writes them (HtmlText.h: the
// characters that HTML text may not hold become U+FFFD), their line breaks <br>.
struct ClipboardTable {
    QString text;
    QString html;

    // The columns fields (indexes of the data set's fields) of every row. The two
    // texts may take ceiling bytes of memory together: past that it throws, with the
    // message of tooLargeMessage(ceiling). progress may stop it (then both are empty);
    // a data set closed, reopened or sorted meanwhile ends it with an error.
    [[nodiscard]] static ClipboardTable of(
        const TDataSet& dataSet, const QList<int>& fields, qsizetype ceiling, const RecordProgress& progress = {});

    [[nodiscard]] static QString tooLargeMessage(qsizetype ceiling);
    // A cell's text in the tab-separated form.
    [[nodiscard]] static QString textCell(const QString& text);
    // A cell's text in the table.
    [[nodiscard]] static QString htmlCell(const QString& text);
};
