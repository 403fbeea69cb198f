#include "export/RowPieces.h"

#include "data/DataSet.h"
#include "data/DataSetWalk.h"
#include "export/ExportOutput.h"

#include "platform/SideWork.h"

#include <QScopeGuard>
#include <algorithm>
#include <deque>
#include <future>

namespace
{

// Rows a piece: large enough that handing it over costs nothing beside formatting it,
// small enough that the pieces in flight take a few megabytes.
constexpr qsizetype kPieceRows = 2048;

void appendRecords(const RowPiece& piece, qsizetype records, ExportOutput& main, ExportOutput* side)
{
    if (records == 0)
        return;
    main.append(piece.main.constData(), piece.mainEnds[size_t(records - 1)]);
    if (side)
        side->append(piece.side.constData(), piece.sideEnds[size_t(records - 1)]);
}

} // namespace

bool writeInPieces(TDataSet& data, qsizetype count, const FormatPiece& format, const RecordProgress& progress,
    ExportOutput& main, ExportOutput* side)
{
    bool replaced = false;
    const QMetaObject::Connection watch
        = QObject::connect(&data, &TDataSet::layoutChanged, &data, [&replaced] { replaced = true; });
    const auto unwatch = qScopeGuard([&watch] { QObject::disconnect(watch); });

    SideWork work;
    const size_t inFlight = size_t(2 * work.threads());
    std::deque<std::future<RowPiece>> pending;
    qsizetype next = 0;
    const auto launch = [&] {
        const qsizetype first = next;
        const qsizetype end = std::min(count, first + kPieceRows);
        next = end;
        // Whatever ends the writing, no piece is formatted on after it.
        pending.push_back(work.start([first, end, &format, &work] {
            RowPiece piece;
            piece.first = first;
            if (!work.stopping())
                format(piece, end);
            return piece;
        }));
    };

    while (next < count || !pending.empty()) {
        while (next < count && pending.size() < inFlight)
            launch();
        const RowPiece piece = pending.front().get();
        pending.pop_front();
        const auto records = qsizetype(piece.mainEnds.size());
        for (qsizetype i = 0; i < records; ++i) {
            // The cursor follows the records written, as a walk's does: what watches it
            // (the grid) sees the export go by.
            if (data.recNo() != piece.first + i || data.eof())
                data.moveTo(piece.first + i);
            const bool goOn = !progress || progress(piece.first + i, count);
            if (replaced)
                throw EDatabaseError(DataSetWalk::replacedMessage());
            if (!goOn) {
                appendRecords(piece, i, main, side);
                return false;
            }
        }
        appendRecords(piece, records, main, side);
    }
    if (count > 0) {
        data.moveTo(count - 1);
        data.next();
    }
    return true;
}
