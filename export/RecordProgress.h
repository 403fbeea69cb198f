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

// What an export's outputs ask while a pipe or a device they write takes nothing:
// progress told again where data stands, so that the window goes on and "Annuler"
// stops the export (with a message: the reader got part of the data). None without
// progress: the outputs then wait for the reader.
inline std::function<bool()> stallWait(const RecordProgress& progress, const TDataSet& data)
{
    if (!progress)
        return {};
    return [&progress, &data] { return progress(data.recNo(), data.recordCount()); };
}
