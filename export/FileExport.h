#pragma once

#include "export/RecordProgress.h"

#include <QString>

class TDataSet;

// A file format that the query window writes a result in: one unit a format, each
// behind this interface, so that a command needs to know no format of its own.
//
// A file export writes the records of a data set in the order shown, its visible
// fields in their order. It reports progress before each record (RecordProgress:
// false stops it, every target as it was) and fails by throwing: EInOutError for the
// file, EDatabaseError for the data, each with a message the user can read.
class FileExport
{
public:
    virtual ~FileExport() = default;

    // What the format is called in menus and in the save dialog's list of types
    // ("Classeurs Excel"), and the extension, without its full stop, that a name typed
    // without one takes ("xlsx").
    [[nodiscard]] virtual QString formatName() const = 0;
    [[nodiscard]] virtual QString defaultExtension() const = 0;
    // The save dialog's entry for the format: "Classeurs Excel (*.xlsx)".
    [[nodiscard]] QString filterEntry() const
    {
        return QStringLiteral("%1 (*.%2)").arg(formatName(), defaultExtension());
    }

    // Not owned.
    virtual void setDataSet(TDataSet* dataSet) = 0;
    // Watches the walk over the records; none by default.
    virtual void setOnProgress(RecordProgress progress) = 0;
    // Writes fileName whole, or leaves it as it was; false when progress stopped it.
    virtual bool ExportToFile(const QString& fileName) = 0;
};
