#include "output/printing/QtPrinter.h"

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QPrinter>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <cerrno>

QtPrinter::QtPrinter(QPrinter& device)
    : m_device(device)
    , m_canvas(*this)
{
}

QtPrinter::~QtPrinter()
{
    if (printing()) {
        abort();
        endDoc();
    }
}

int QtPrinter::pageWidth() const
{
    return m_device.width();
}

int QtPrinter::pageHeight() const
{
    return m_device.height();
}

int QtPrinter::dpiX() const
{
    return m_device.logicalDpiX();
}

int QtPrinter::dpiY() const
{
    return m_device.logicalDpiY();
}

void QtPrinter::setStallWait(std::function<bool()> wait)
{
    m_stallWait = std::move(wait);
    if (m_save)
        m_save->setStallWait(m_stallWait);
}

void QtPrinter::startJob()
{
    // A file is written whole or not at all: the job spools into a temporary file,
    // which goes into the target's atomic save once complete. Opening the save first
    // reports a missing folder or a read-only file before anything is laid out.
    m_target = m_device.outputFileName();
    try {
        if (!m_target.isEmpty()) {
            m_save = std::make_unique<AtomicFile>(m_target);
            m_save->setStallWait(m_stallWait);
            m_spool = std::make_unique<QTemporaryFile>();
            if (!m_spool->open())
                throwFileError(errno);
            m_spool->close();
            m_device.setOutputFileName(m_spool->fileName());
        }
        if (!m_painter.begin(&m_device))
            throw EPrinter(QStringLiteral("Impossible de démarrer l'impression"));
    } catch (...) {
        dropSpool();
        throw;
    }
    // The painter's origin is the printable area's corner; the paper ends further on.
    const QRect paper = m_device.paperRect(QPrinter::DevicePixel).toAlignedRect();
    const QRect area = m_device.pageRect(QPrinter::DevicePixel).toAlignedRect();
    m_paperEnd = QPoint(paper.right() - area.left(), paper.bottom() - area.top());
    m_canvas.apply();
}

void QtPrinter::finishJob()
{
    const bool written = m_painter.end();
    const auto drop = qScopeGuard([this] { dropSpool(); });
    // A cancelled job leaves the file that was there.
    if (aborted())
        return;
    if (!written)
        throw EPrinter(QStringLiteral("L'impression n'a pas pu être terminée"));
    if (m_save)
        commitSpool();
}

void QtPrinter::commitSpool()
{
    QFile spool(m_spool->fileName());
    if (!spool.open(QIODevice::ReadOnly))
        throwFileError(errno);
    QByteArray chunk;
    QByteArray tail;
    while (!(chunk = spool.read(1 << 20)).isEmpty()) {
        m_save->write(chunk);
        tail = tail.right(16) + chunk.right(16);
    }
    // The PDF writer does not report failed writes; a full disk shows as a file
    // that stops before its end marker.
    if (m_device.outputFormat() == QPrinter::PdfFormat && !tail.contains("%%EOF"))
        throwFileError(ENOSPC);
    m_save->commit();
}

void QtPrinter::dropSpool()
{
    if (!m_target.isEmpty())
        m_device.setOutputFileName(m_target);
    m_save.reset();
    m_spool.reset();
}

void QtPrinter::throwFileError(int systemError)
{
    const int code = fileErrorCode(systemError ? systemError : EIO);
    throw EInOutError(inOutErrorMessage(code), code);
}

void QtPrinter::startPage()
{
    m_device.newPage();
}

void QtPrinter::abortJob()
{
    // Cancels the spooled job where the system allows it; the painter ends with endDoc.
    m_device.abort();
}

QtPrinter::Canvas::Canvas(QtPrinter& printer)
    : m_printer(printer)
    , m_font { QStringLiteral("Arial"), 10, {}, QFont::SansSerif }
    , m_metrics(m_font.toQFont(), &printer.m_device)
{
}

void QtPrinter::Canvas::selectFont(const PrintFont& font)
{
    m_font = font;
    apply();
}

void QtPrinter::Canvas::setStyle(FontStyles style)
{
    PrintFont f = m_font;
    f.style = style;
    selectFont(f);
}

int QtPrinter::Canvas::textWidth(const QString& text)
{
    return m_metrics.horizontalAdvance(text);
}

int QtPrinter::Canvas::textHeight(const QString&)
{
    return m_metrics.height();
}

void QtPrinter::Canvas::textOut(int x, int y, const QString& text)
{
    // Text that starts beyond the paper's right or bottom edge cannot show: a wide
    // listing's last columns cost neither layout nor room in the file.
    if (!m_printer.m_painter.isActive() || m_printer.aborted() || x > m_printer.m_paperEnd.x()
        || y > m_printer.m_paperEnd.y())
        return;
    m_printer.m_painter.drawText(x, y + m_metrics.ascent(), partOnPaper(text, m_printer.m_paperEnd.x() - x));
}

// Text that runs off the paper would still be laid out letter by letter and go into
// a PDF file whole: a cell of 50 MB took 20 seconds and 4 MB of file to print. Only
// its start that reaches the paper's edge, room pixels away, is drawn. The start is
// grown by doubling, so a long text costs about what shows of it.
QString QtPrinter::Canvas::partOnPaper(const QString& text, int room) const
{
    for (qsizetype n = 256; n < text.size(); n *= 2) {
        // Whole characters: a surrogate pair is not cut in two.
        const qsizetype cut = text[n - 1].isHighSurrogate() ? n + 1 : n;
        if (m_metrics.horizontalAdvance(text, int(cut)) > room)
            return text.left(cut);
    }
    return text;
}

void QtPrinter::Canvas::apply()
{
    // The device's resolution may have changed since the last job (another printer).
    m_metrics = QFontMetrics(m_font.toQFont(), &m_printer.m_device);
    if (m_printer.m_painter.isActive())
        m_printer.m_painter.setFont(m_font.toQFont());
}
