#pragma once

#include "export/kdb2text.h"
#include "export/kds2html.h"

#include <QBuffer>
#include <utility>

// What the exports write for a data set, into memory.

// The HTML document, through onFormatCell when one is given.
inline QByteArray htmlDocument(TDataSet& data, const TKHTMLFormatCellEvent& onFormatCell = {})
{
    TKDataSetToHTML html;
    html.setDataSet(&data);
    if (onFormatCell)
        html.setOnFormatCell(onFormatCell);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    html.exportTo(buffer);
    return buffer.data();
}

// The text file's bytes and the side file's bytes, as component writes them.
inline std::pair<QByteArray, QByteArray> textFiles(TKDatasetToText& component)
{
    QBuffer lines;
    QBuffer side;
    lines.open(QIODevice::WriteOnly);
    side.open(QIODevice::WriteOnly);
    component.exportTo(lines, side);
    return { lines.data(), side.data() };
}

// The same with the export's settings left as they are by default.
inline std::pair<QByteArray, QByteArray> textFiles(TDataSet& data)
{
    TKDatasetToText text;
    text.setDataset(&data);
    return textFiles(text);
}
