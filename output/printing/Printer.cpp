#include "output/printing/Printer.h"

#include "platform/Exceptions.h"

QFont PrintFont::toQFont() const
{
    QFont f(name);
    f.setPointSize(size);
    f.setStyleHint(hint);
    f.setBold(style.testFlag(FontStyle::Bold));
    f.setItalic(style.testFlag(FontStyle::Italic));
    f.setUnderline(style.testFlag(FontStyle::Underline));
    f.setStrikeOut(style.testFlag(FontStyle::StrikeOut));
    return f;
}

void Printer::beginDoc()
{
    if (m_printing)
        throw EPrinter(QStringLiteral("Impression en cours"));
    startJob();
    m_printing = true;
    m_aborted = false;
    m_pageNumber = 1;
}

void Printer::endDoc()
{
    checkPrinting();
    m_printing = false;
    finishJob();
}

void Printer::newPage()
{
    checkPrinting();
    if (m_aborted)
        return;
    startPage();
    ++m_pageNumber;
}

void Printer::abort()
{
    checkPrinting();
    if (m_aborted)
        return;
    m_aborted = true;
    abortJob();
}

void Printer::checkPrinting() const
{
    if (!m_printing)
        throw EPrinter(QStringLiteral("Aucune impression en cours"));
}
