#pragma once

#include "export/FileExport.h"
#include "export/kdb2text.h"
#include "export/kds2html.h"

// The HTML and text exports behind the file-format interface, as they are: the same
// calls, the same files.
class HtmlFileExport final : public FileExport
{
public:
    explicit HtmlFileExport(TKDataSetToHTML& html)
        : m_html(html)
    {
    }
    QString formatName() const override { return QStringLiteral("Fichiers HTML"); }
    QString defaultExtension() const override { return QStringLiteral("htm"); }
    void setDataSet(TDataSet* dataSet) override { m_html.setDataSet(dataSet); }
    void setOnProgress(RecordProgress progress) override { m_html.setOnProgress(std::move(progress)); }
    bool ExportToFile(const QString& fileName) override { return m_html.ExportToFile(fileName); }

private:
    TKDataSetToHTML& m_html;
};

// The text file and its side file (see TKDatasetToText).
class TextFileExport final : public FileExport
{
public:
    explicit TextFileExport(TKDatasetToText& text)
        : m_text(text)
    {
    }
    QString formatName() const override { return QStringLiteral("Fichiers textes"); }
    QString defaultExtension() const override { return QStringLiteral("txt"); }
    void setDataSet(TDataSet* dataSet) override { m_text.setDataset(dataSet); }
    void setOnProgress(RecordProgress progress) override { m_text.setOnProgress(std::move(progress)); }
    bool ExportToFile(const QString& fileName) override { return m_text.ExportToFile(fileName); }

private:
    TKDatasetToText& m_text;
};
