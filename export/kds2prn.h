#pragma once

#include "data/DataSet.h"
#include "output/printing/Printer.h"
#include "platform/Exceptions.h"
#include "platform/TComponent.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <vector>

VELOSQL_EXCEPTION_CLASS(TKDBExportError, Exception)

// Prints an open data set as a paginated listing: header lines centred at the top of
// every page, an optional title, the column titles in bold, one line per record with a
// column per visible, non-blob field, and footer lines near the bottom of every page.
// Everything is measured in device pixels of the printer; margins are millimetres.
class TKDatasetToPrinter : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(TDataSet* DataSet READ DataSet WRITE setDataSet)
    Q_PROPERTY(QStringList Footer READ Footer WRITE setFooter)
    Q_PROPERTY(QStringList Header READ Header WRITE setHeader)
    Q_PROPERTY(int LeftMargin READ LeftMargin WRITE setLeftMargin)
    Q_PROPERTY(int TopMargin READ TopMargin WRITE setTopMargin)
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
public:
    // Told the rows laid out so far and the record count at every page break, before
    // the first row and after the last. Returning false cancels: the job is aborted.
    // The window drives it as all long work (app/WorkProgress.h).
    using ProgressHandler = std::function<bool(qsizetype done, qsizetype total)>;

    explicit TKDatasetToPrinter(QObject* owner = nullptr, const QString& name = {});

    TDataSet* DataSet() const { return m_dataSet; }
    void setDataSet(TDataSet* dataSet) { m_dataSet = dataSet; }
    const QStringList& Footer() const { return m_footer; }
    void setFooter(const QStringList& lines) { m_footer = lines; }
    const QStringList& Header() const { return m_header; }
    void setHeader(const QStringList& lines) { m_header = lines; }
    int LeftMargin() const { return m_leftMargin; }
    void setLeftMargin(int millimetres) { m_leftMargin = millimetres; }
    int TopMargin() const { return m_topMargin; }
    void setTopMargin(int millimetres) { m_topMargin = millimetres; }
    const QString& Title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }

    // The printer the job goes to (not owned; the caller's, set before Print).
    Printer* printer() const { return m_printer; }
    void setPrinter(Printer* printer) { m_printer = printer; }
    void setOnProgress(ProgressHandler handler) { m_onProgress = std::move(handler); }

    // Prints the whole data set as one job and leaves its cursor at its end. Throws
    // TKDBExportError without a data set, with a closed one or without a printer.
    void Print();

    // Arial 10 points regular, and Arial 16 points bold; a sans-serif family where
    // Arial is not installed.
    static PrintFont bodyFont();
    static PrintFont titleFont();

protected:
    // Lays out every page of the job that Print has begun and measured.
    virtual void PrintPages();

    // The layout steps, for descendants that lay pages out their own way.
    void printPageHead();
    void printRow();
    void printCentred(const QStringList& lines);
    void printFooter();
    // Reports progress to the handler; false once the job is aborted. Throws when the
    // data set was closed or replaced meanwhile (the handler lets events through).
    bool reportProgress(qsizetype done);

    // A column: the field it shows, by position, and its width in pixels.
    struct Column {
        int field;
        int width;
    };

    Printer* m_job = nullptr;
    PrintCanvas* m_canvas = nullptr;
    std::vector<Column> m_columns;
    int m_pixelsPerMmX = 0;
    int m_pixelsPerMmY = 0;
    int m_lineHeight = 0;
    int m_footerHeight = 0;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    int m_x = 0;
    int m_y = 0;

private slots:
    void dataSetLayoutChanged() { m_dataSetChanged = true; }

private:
    void measure();

    QPointer<TDataSet> m_dataSet;
    QStringList m_footer;
    QStringList m_header;
    int m_leftMargin = 10;
    int m_topMargin = 5;
    QString m_title;
    Printer* m_printer = nullptr;
    ProgressHandler m_onProgress;
    ProgressHandler m_jobProgress;
    qsizetype m_total = 0;
    bool m_dataSetChanged = false;
};
