#pragma once

#include "data/DataSetWalk.h"

#include <QtGlobal>
#include <functional>

// Watches an export: told the records written so far and the record count before
// each record; it may let events through. Returning false stops the export, which
// then writes nothing: its temporary files are removed and every target stays as it
// was. The window drives it as all long work (app/WorkProgress.h).
using RecordProgress = std::function<bool(qsizetype done, qsizetype total)>;

// Tells progress, when there is one, where walk stands before its next record; false
// when the export must stop. Events let through may have moved the cursor: the walk
// takes its place again.
inline bool reportRecord(const RecordProgress& progress, DataSetWalk& walk)
{
    if (!progress)
        return true;
    if (!progress(walk.done(), walk.count()))
        return false;
    walk.keepPlace();
    return true;
}
