#pragma once

#include "data/DataSet.h"
#include "export/FileExport.h"

#include <QPointer>
#include <vector>

class QIODevice;
class QLocale;
class ExportOutput;

// The result as a CSV file for spreadsheets: UTF-8 with a byte order mark, a header
// line of the fields' names, then one line per record, CR LF line ends; a value is
// quoted when it holds the delimiter, a quote or a line end (RFC 4180: a quote inside
// is doubled, line ends stay inside the quotes). Numbers and amounts with the decimal
// separator of the user's regional settings and no grouping, dates and times in ISO
// 8601, truth values and texts as the grid shows them, memos whole, other binary
// values by their size in bytes.
class CsvExport final : public FileExport
{
public:
    CsvExport() = default;

    // ';' where the locale's decimal separator is a comma (numbers would otherwise need
    // quotes, and such spreadsheets read ';'), ',' elsewhere.
    [[nodiscard]] static char delimiterFor(const QLocale& locale);
    // By default, 0, the delimiter of the regional settings that the data set's numbers
    // are written in (TextForms: the user's, QLocale::system(), in the program), so
    // that the two separators always agree.
    void setDelimiter(char delimiter) { m_delimiter = delimiter; }

    QString formatName() const override { return QStringLiteral("Fichiers CSV"); }
    QString defaultExtension() const override { return QStringLiteral("csv"); }
    void setDataSet(TDataSet* dataSet) override { m_dataSet = dataSet; }
    // The fields written, in this order (a grid's columns as shown); none, the
    // default: the visible fields in their order.
    void setFields(std::vector<int> fields) { m_fields = std::move(fields); }
    void setOnProgress(RecordProgress progress) override { m_onProgress = std::move(progress); }
    // Through a temporary file in the target's folder renamed over it at the end (see
    // AtomicFile); the name is used as given.
    bool ExportToFile(const QString& fileName) override;
    // The same file written into device; false when stopped (the device holds its start).
    bool exportTo(QIODevice& device);

private:
    [[nodiscard]] bool write(TDataSet& data, ExportOutput& out) const;

    QPointer<TDataSet> m_dataSet;
    RecordProgress m_onProgress;
    std::vector<int> m_fields;
    char m_delimiter = 0;
};
