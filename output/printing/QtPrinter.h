#pragma once

#include "output/printing/Printer.h"

#include <QFontMetrics>
#include <QPainter>
#include <memory>

class AtomicFile;
class QPrinter;
class QTemporaryFile;

// The real printer: draws with QPainter on a QPrinter that the print dialog set up,
// a system printer or a PDF file. Pages go to the device as they are finished, so a
// long job holds one page in memory. A file is replaced only by a complete job; a
// cancelled or failed one leaves the file that was there. The canvas starts in
// Arial 10 points, regular.
class QtPrinter : public Printer
{
public:
    // device is not owned and must outlive this printer.
    explicit QtPrinter(QPrinter& device);
    ~QtPrinter() override;

    PrintCanvas& canvas() override { return m_canvas; }
    int pageWidth() const override;
    int pageHeight() const override;
    int dpiX() const override;
    int dpiY() const override;
    void setStallWait(std::function<bool()> wait) override;
    // The job's painter, for a drawing rather than text (a chart), between beginDoc
    // and endDoc; its origin is the printable area's corner.
    QPainter& painter() { return m_painter; }

protected:
    void startJob() override;
    void finishJob() override;
    void startPage() override;
    void abortJob() override;

private:
    void commitSpool();
    void dropSpool();
    [[noreturn]] static void throwFileError(int systemError);

    class Canvas : public PrintCanvas
    {
    public:
        explicit Canvas(QtPrinter& printer);
        void selectFont(const PrintFont& font) override;
        void setStyle(FontStyles style) override;
        const PrintFont& font() const override { return m_font; }
        int textWidth(const QString& text) override;
        int textHeight(const QString& text) override;
        void textOut(int x, int y, const QString& text) override;
        // Applies the current font to the job's painter.
        void apply();

    private:
        [[nodiscard]] QString partOnPaper(const QString& text, int room) const;

        QtPrinter& m_printer;
        PrintFont m_font;
        QFontMetrics m_metrics;
    };

    QPrinter& m_device;
    QPainter m_painter;
    QPoint m_paperEnd; // the paper's bottom-right corner, in painter coordinates
    Canvas m_canvas;
    // Printing to a file: its name, its atomic save and the file the job spools into.
    QString m_target;
    std::unique_ptr<AtomicFile> m_save;
    std::function<bool()> m_stallWait;
    std::unique_ptr<QTemporaryFile> m_spool;
};
