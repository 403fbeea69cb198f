#pragma once

#include "export/RecordProgress.h"

#include <QByteArray>
#include <functional>
#include <vector>

class ExportOutput;
class TDataSet;

// The records of a piece of rows, formatted apart: their bytes in the main output and
// in the side output, and where each record ends in both, so that a stop between two
// records writes exactly the records before it.
struct RowPiece {
    qsizetype first = 0; // the first row of the piece
    QByteArray main;
    QByteArray side;
    std::vector<qsizetype> mainEnds;
    std::vector<qsizetype> sideEnds;
    void endRecord()
    {
        mainEnds.push_back(main.size());
        sideEnds.push_back(side.size());
    }
};

// Formats rows [piece.first, end) into piece. Runs beside the window's thread
// (platform/SideWork), several
// pieces at once: it may read only what does not change meanwhile (a RowsSnapshot).
using FormatPiece = std::function<void(RowPiece& piece, qsizetype end)>;

// Writes the count rows of data, formatted in pieces of some thousands of rows on the
// cores while this thread appends the pieces, in order, to
// main and side (when given) and tells progress before each record. At most a few
// pieces are in flight, so memory stays bounded whatever the row count. A failure in
// a piece is thrown here, once the pieces in flight are done. Returns false when
// progress asks to stop, after the records before the stop. The data set's cursor
// goes over the records as they are written, as a walk's does (see DataSetWalk), and a
// data set closed or reopened meanwhile stops the writing with DataSetWalk's error.
bool writeInPieces(TDataSet& data, qsizetype count, const FormatPiece& format, const RecordProgress& progress,
    ExportOutput& main, ExportOutput* side);
