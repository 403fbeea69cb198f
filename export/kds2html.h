#pragma once

#include "data/DataSet.h"
#include "export/CurrencyText.h"
#include "export/RecordProgress.h"
#include "platform/TComponent.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

class QIODevice;
class DataSetWalk;
class ExportOutput;

// Called for every cell written, header cells included (row 1; data rows from 2;
// columns count visible fields from 1). customAttrs arrives empty and goes into the
// cell's opening tag; cellData arrives as the cell's escaped text and becomes its
// content. Both are written as the callback leaves them, so they may hold markup.
using TKHTMLFormatCellEvent = std::function<void(
    QObject* sender, int cellRow, int cellColumn, const QString& fieldName, QString& customAttrs, QString& cellData)>;

// Writes the visible fields of every record of a data set as one HTML table, framed
// by the Header lines (or a default head) and the Footer lines (or a default foot),
// in Windows-1252 with CR LF line ends. Labels and values are HTML text (HtmlText.h:
// & < > " escaped, the characters that HTML text may not hold as "&#65533;"), as the
// clipboard's table writes them; characters that the code page cannot hold become
// numeric character references.
// Currency fields show as amounts in the user's currency style, with two decimals.
class TKDataSetToHTML : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(TDataSet* DataSet READ dataSet WRITE setDataSet)
    Q_PROPERTY(QStringList Header READ header WRITE setHeader)
    Q_PROPERTY(QStringList Footer READ footer WRITE setFooter)
public:
    explicit TKDataSetToHTML(QObject* owner = nullptr, const QString& name = {});

    // Not owned; clears itself when the data set is destroyed.
    TDataSet* dataSet() const { return m_dataSet; }
    void setDataSet(TDataSet* dataSet) { m_dataSet = dataSet; }
    const QStringList& header() const { return m_header; }
    void setHeader(const QStringList& lines) { m_header = lines; }
    const QStringList& footer() const { return m_footer; }
    void setFooter(const QStringList& lines) { m_footer = lines; }
    void setOnFormatCell(TKHTMLFormatCellEvent callback) { m_onFormatCell = std::move(callback); }
    // Watches the walk over the records; none by default.
    void setOnProgress(RecordProgress progress) { m_onProgress = std::move(progress); }

    // Writes the document to fileName, unchanged (no extension is added), through a
    // temporary file renamed over it at the end: a failure leaves an existing file as it
    // was, and a replaced file keeps its owner and permissions. The data set is left at
    // its end of data. Refused before anything is written: a closed data set, with the
    // engine's closed-data-set error (EDatabaseError), and a target that is a file of
    // the open database (EInOutError). Errors of the engine, the callback and the file
    // (EInOutError) pass to the caller. False when the progress callback stopped the
    // export: then the file was not touched. A pipe or a device that stops taking the
    // document asks the progress callback between waits (stallWait), and a stop there
    // throws EInOutError: its reader got part of the document.
    bool ExportToFile(const QString& fileName);
    // The same document written into device; false when stopped (the device holds
    // the document's start).
    bool exportTo(QIODevice& device);

private:
    TDataSet& checkedDataSet() const;
    // False when the progress callback stopped the walk.
    [[nodiscard]] bool writeDocument(TDataSet& data, ExportOutput& out);
    [[nodiscard]] bool writeRows(TDataSet& data, const std::vector<const TField*>& fields, ExportOutput& out) const;
    [[nodiscard]] bool writeCalledBack(TDataSet& data, const std::vector<const TField*>& fields, ExportOutput& out);
    void writeHeaderRow(const std::vector<const TField*>& fields, ExportOutput& out);
    void writeDataRow(const std::vector<const TField*>& fields, int row, DataSetWalk& walk, ExportOutput& out);
    void writeCell(const char* openTag, const TField& field, int row, int column, QString data, const char* closeTag,
        ExportOutput& out);
    [[nodiscard]] QString cellText(const TField& field) const;

    QPointer<TDataSet> m_dataSet;
    QStringList m_header;
    QStringList m_footer;
    TKHTMLFormatCellEvent m_onFormatCell;
    RecordProgress m_onProgress;
    // Per export: amounts under the user's regional settings.
    std::optional<CurrencyText> m_currency;
};
