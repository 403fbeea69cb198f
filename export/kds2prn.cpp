#include "export/kds2prn.h"

#include "data/DataSetWalk.h"
#include "engine/FieldType.h"

#include <algorithm>

namespace
{

// Millimetres to device pixels: pixels per inch over 25.4, truncated.
int pixelsPerMillimetre(int dpi)
{
    return dpi * 10 / 254;
}

} // namespace

TKDatasetToPrinter::TKDatasetToPrinter(QObject* owner, const QString& name)
    : TComponent(owner, name)
{
}

PrintFont TKDatasetToPrinter::bodyFont()
{
    return { QStringLiteral("Arial"), 10, {}, QFont::SansSerif };
}

PrintFont TKDatasetToPrinter::titleFont()
{
    return { QStringLiteral("Arial"), 16, FontStyle::Bold, QFont::SansSerif };
}

void TKDatasetToPrinter::Print()
{
    if (!m_dataSet)
        throw TKDBExportError(QStringLiteral("Dataset is not specified"));
    if (!m_dataSet->active())
        throw TKDBExportError(QStringLiteral("Dataset is not active"));
    if (!m_printer)
        throw TKDBExportError(QStringLiteral("Printer is not specified"));
    if (m_job)
        throw EPrinter(QStringLiteral("Impression en cours"));

    Printer& job = *m_printer;
    job.beginDoc();
    m_job = &job;
    // The job keeps its own handler: a command arriving meanwhile may set another.
    m_jobProgress = m_onProgress;
    // A file that stops taking the finished job (a pipe) asks the progress again.
    if (m_jobProgress)
        job.setStallWait([this] { return m_jobProgress(m_total, m_total); });
    m_dataSetChanged = false;
    const QMetaObject::Connection watch
        = connect(m_dataSet, &TDataSet::layoutChanged, this, &TKDatasetToPrinter::dataSetLayoutChanged);
    struct JobEnd {
        TKDatasetToPrinter& self;
        QMetaObject::Connection watch;
        ~JobEnd()
        {
            QObject::disconnect(watch);
            self.m_job->setStallWait({});
            self.m_job = nullptr;
            self.m_canvas = nullptr;
            self.m_jobProgress = nullptr;
        }
    } jobEnd { *this, watch };

    try {
        m_canvas = &job.canvas();
        m_pageHeight = job.pageHeight();
        m_pageWidth = job.pageWidth();
        m_total = m_dataSet->recordCount();
        measure();
        PrintPages();
    } catch (...) {
        // A failed job is dropped, and the printer is free for the next one.
        job.abort();
        job.endDoc();
        throw;
    }
    job.endDoc();
}

void TKDatasetToPrinter::measure()
{
    m_pixelsPerMmX = pixelsPerMillimetre(m_job->dpiX());
    m_pixelsPerMmY = pixelsPerMillimetre(m_job->dpiY());

    // A column is as wide as displayWidth() letters "e" and a space, measured in the
    // canvas's current font, whatever the last job left there. A column wider than the
    // page ends past it whatever its size: no more "e" are measured than the page
    // holds and two, so that a huge declared size costs what a page does. A column is
    // also as wide as the widest text of its type and a space (dates, times, amounts
    // in the user's regional settings), so that no value runs into the next one.
    const int widthOfE = m_canvas->textWidth(QStringLiteral("e"));
    const int pageLetters = widthOfE > 0 ? std::max(m_pageWidth, 0) / widthOfE + 2 : 1;
    m_columns.clear();
    for (int i = 0; i < m_dataSet->fieldCount(); ++i) {
        const TField* field = m_dataSet->field(i);
        if (!field->visible() || isBlobType(field->dataType()))
            continue;
        const QString sample = QString(std::clamp(field->displayWidth(), 0, pageLetters), u'e') + u' ';
        int width = m_canvas->textWidth(sample);
        for (const QString& text : field->widestTexts())
            width = std::max(width, m_canvas->textWidth(text + u' '));
        m_columns.push_back({ i, width });
    }
    m_lineHeight = m_canvas->textHeight(QStringLiteral("X")) + m_pixelsPerMmY;
    m_footerHeight = int(m_footer.size()) * m_lineHeight;
}

void TKDatasetToPrinter::PrintPages()
{
    printPageHead();
    // The progress handler lets events through: the walk keeps its own place.
    DataSetWalk walk(*m_dataSet);
    reportProgress(0);
    while (!walk.atEnd()) {
        printRow();
        walk.next();
        if (m_pageHeight - m_footerHeight < m_y + m_lineHeight) {
            if (!m_job->aborted()) {
                printFooter();
                m_job->newPage();
            }
            reportProgress(walk.done());
            printPageHead();
        }
    }
    printFooter();
    reportProgress(walk.done());
    walk.keepPlace();
}

void TKDatasetToPrinter::printPageHead()
{
    m_y = m_topMargin * m_pixelsPerMmY;
    m_canvas->selectFont(bodyFont());
    printCentred(m_header);
    m_y += 2 * m_lineHeight;
    if (!m_title.isEmpty()) {
        m_canvas->selectFont(titleFont());
        m_x = (m_pageWidth - m_canvas->textWidth(m_title)) / 2;
        m_canvas->textOut(m_x, m_y, m_title);
        m_y += 2 * m_lineHeight;
    }
    m_canvas->selectFont(bodyFont());
    m_canvas->setStyle(FontStyle::Bold);
    m_x = m_leftMargin * m_pixelsPerMmX;
    for (const Column& column : m_columns) {
        m_canvas->textOut(m_x, m_y, m_dataSet->field(column.field)->displayLabel());
        m_x += column.width;
    }
    m_y += m_lineHeight;
    m_canvas->setStyle({});
}

void TKDatasetToPrinter::printRow()
{
    m_x = m_leftMargin * m_pixelsPerMmX;
    for (const Column& column : m_columns) {
        m_canvas->textOut(m_x, m_y, m_dataSet->field(column.field)->asString());
        m_x += column.width;
    }
    m_y += m_lineHeight;
}

void TKDatasetToPrinter::printCentred(const QStringList& lines)
{
    for (const QString& line : lines) {
        // Halved toward zero: a line wider than the page starts left of it.
        m_x = (m_pageWidth - m_canvas->textWidth(line)) / 2;
        m_canvas->textOut(m_x, m_y, line);
        m_y += m_lineHeight;
    }
}

void TKDatasetToPrinter::printFooter()
{
    m_y = m_pageHeight - m_footerHeight - 10;
    printCentred(m_footer);
}

bool TKDatasetToPrinter::reportProgress(qsizetype done)
{
    if (m_jobProgress && !m_job->aborted() && !m_jobProgress(done, m_total))
        m_job->abort();
    if (!m_dataSet || !m_dataSet->active() || m_dataSetChanged)
        throw TKDBExportError(QStringLiteral("Dataset changed while printing"));
    return !m_job->aborted();
}
