#pragma once

#include "data/DataSet.h"
#include "export/FileExport.h"

#include <QPointer>
#include <vector>

// The result as an Excel workbook (.xlsx), written by libxlsxwriter in its
// constant-memory mode: a header row of the fields' names, bold, frozen and with the
// autofilter on, then one row per record. Cells keep their type: integers and
// decimals as numbers, amounts as numbers in the currency format of the user's
// regional settings with two decimals, dates, times and date-times as dates in ISO
// formats, truth values as booleans, texts as strings (never formulas), memos whole
// up to the 32,767 characters a cell holds, other binary values by their size in
// bytes. Columns are as wide as the grid makes them, in characters. A result longer
// than a sheet holds goes on in further sheets, "Résultat 1", "Résultat 2"...
//
// Builds without libxlsxwriter have the class, whose exports say that the format is
// not available (available() is false).
class XlsxExport final : public FileExport
{
public:
    // Records on a sheet, below its header row: as many as a sheet holds.
    static constexpr qsizetype kSheetRecords = 1048575;

    XlsxExport() = default;
    [[nodiscard]] static bool available();
    // What an export says in a build without the library.
    [[nodiscard]] static QString unavailableMessage()
    {
        return QStringLiteral("L'export vers un classeur n'est pas disponible dans cette version de VeloSQL");
    }
    // Fewer records a sheet (tests of the split); kSheetRecords at most.
    void setSheetRecords(qsizetype records) { m_sheetRecords = records; }

    QString formatName() const override { return QStringLiteral("Classeurs Excel"); }
    QString defaultExtension() const override { return QStringLiteral("xlsx"); }
    void setDataSet(TDataSet* dataSet) override { m_dataSet = dataSet; }
    // The fields written, in this order (a grid's columns as shown); none, the
    // default: the visible fields in their order.
    void setFields(std::vector<int> fields) { m_fields = std::move(fields); }
    void setOnProgress(RecordProgress progress) override { m_onProgress = std::move(progress); }
    // Writes fileName as given, through a temporary file in its folder renamed over it
    // at the end (see AtomicFile); a named pipe or a device gets the finished workbook.
    bool ExportToFile(const QString& fileName) override;

private:
    QPointer<TDataSet> m_dataSet;
    RecordProgress m_onProgress;
    std::vector<int> m_fields;
    qsizetype m_sheetRecords = kSheetRecords;
};
