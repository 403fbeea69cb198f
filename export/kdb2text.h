#pragma once

#include "data/DataSet.h"
#include "export/RecordProgress.h"
#include "platform/Exceptions.h"
#include "platform/TComponent.h"

#include <QPointer>
#include <QStringList>

class QIODevice;
class ExportOutput;

// Errors of the text export ("Dataset is not specified", "Dataset is not active").
VELOSQL_EXCEPTION_CLASS(TKDBToTextError, Exception)

// Text enclosed in quote, with every quote inside it doubled; nothing else changes.
[[nodiscard]] QString QuotedValue(const QString& text, QChar quote);
// The quoted values separated by delimiter (which may be the character 0).
[[nodiscard]] QString JoinValues(const QStringList& values, QChar delimiter, QChar quote);
// Cuts name from its last full stop, wherever it is (folder separators do not stop the search).
void StripExtension(QString& name);
void ReplaceExtension(QString& name, const QString& extension);

// The names an export to fileName writes: the text file gets ".txt" when the name
// has no extension of its own (a full stop after the last "\", "/" or ":"); the side
// file is the text file's name with the extension "mem".
[[nodiscard]] QString textFileName(const QString& fileName);
[[nodiscard]] QString sideFileName(const QString& fileName);

// The delimiter a separator gives: its first character in Windows-1252 ("?" when the
// code page cannot hold it), or the character 0 when the separator is empty.
[[nodiscard]] char delimiterOf(const QString& separator);

// Writes every record of a data set as one line of quoted values separated by
// Delimiter, in Windows-1252 with CR LF line ends and no header line. A binary field
// (the blob kinds, memos included) puts its size in bytes into the line and its bytes
// into a side file beside the text file, in record and field order.
class TKDatasetToText : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(TDataSet* Dataset READ dataset WRITE setDataset)
    Q_PROPERTY(char Delimiter READ delimiter WRITE setDelimiter)
public:
    explicit TKDatasetToText(QObject* owner = nullptr, const QString& name = {});

    // Not owned; clears itself when the data set is destroyed.
    TDataSet* dataset() const { return m_dataset; }
    void setDataset(TDataSet* dataset) { m_dataset = dataset; }
    // Any byte, 0 included. TAB by default. The quote '"' is written as asked, but such
    // lines cannot be split back into their values: "a" then "b" reads as a"b.
    char delimiter() const { return m_delimiter; }
    void setDelimiter(char delimiter) { m_delimiter = delimiter; }
    // Watches the walk over the records; none by default.
    void setOnProgress(RecordProgress progress) { m_onProgress = std::move(progress); }

    // Writes textFileName(fileName) and, when a binary field holds at least one byte,
    // sideFileName(fileName); an existing side file is otherwise left alone. Both are
    // written into temporary files while the records are walked, and renamed over
    // their targets only once both are complete on disk: a failure before that leaves
    // both targets as they were. Refused before anything is created (EInOutError)
    // when the two names reach the same file, or either reaches a file of the open
    // database. The data set is left at its end of data.
    // Throws TKDBToTextError, EDatabaseError or EInOutError. False when the progress
    // callback stopped the export: then neither target was touched. A pipe or a
    // device that stops taking bytes asks the progress callback between waits
    // (stallWait), and a stop there throws EInOutError: its reader got part of them.
    bool ExportToFile(const QString& fileName);
    // The same walk into devices; side receives bytes only when there are any.
    // False when stopped by the progress callback (the devices hold what was written).
    bool exportTo(QIODevice& text, QIODevice& side);

private:
    TDataSet& checkedDataset() const;
    // False when the progress callback stopped the walk.
    [[nodiscard]] bool writeRecords(TDataSet& data, ExportOutput& text, ExportOutput& side) const;

    QPointer<TDataSet> m_dataset;
    char m_delimiter = '\t';
    RecordProgress m_onProgress;
};
