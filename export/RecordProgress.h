#pragma once

#include <QtGlobal>
#include <functional>

// Watches an export: told the records written so far and the record count before
// each record; it may let events through. Returning false stops the export, which
// then writes nothing: its temporary files are removed and every target stays as it
// was.
using RecordProgress = std::function<bool(qsizetype done, qsizetype total)>;
