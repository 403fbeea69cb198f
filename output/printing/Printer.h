#pragma once

#include <functional>

#include <QFlags>
#include <QFont>
#include <QString>

// Styles a printed font can take, combined as flags.
enum class FontStyle {
    Bold = 0x1,
    Italic = 0x2,
    Underline = 0x4,
    StrikeOut = 0x8,
};
Q_DECLARE_FLAGS(FontStyles, FontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(FontStyles)

// A font as the program asks for it: a family name, a size in points and a style.
// The hint picks a close family where the named one is not installed.
struct PrintFont {
    QString name;
    int size = 10;
    FontStyles style;
    QFont::StyleHint hint = QFont::AnyStyle;

    friend bool operator==(const PrintFont&, const PrintFont&) = default;
    // The QFont drawn with.
    QFont toQFont() const;
};

// The drawing surface of a print job, in device pixels of the printer. It keeps its
// current font from one job to the next.
class PrintCanvas
{
public:
    virtual ~PrintCanvas() = default;

    // Takes over the font's name, size and style.
    virtual void selectFont(const PrintFont& font) = 0;
    // Changes the style of the current font.
    virtual void setStyle(FontStyles style) = 0;
    virtual const PrintFont& font() const = 0;

    // Width and height of text in the current font.
    [[nodiscard]] virtual int textWidth(const QString& text) = 0;
    [[nodiscard]] virtual int textHeight(const QString& text) = 0;
    // Draws text in the current font with its top-left corner at (x, y), unclipped.
    virtual void textOut(int x, int y, const QString& text) = 0;
};

// A printer: jobs of pages drawn on its canvas. One job runs at a time; beginning a
// second while one runs throws EPrinter("Impression en cours").
class Printer
{
public:
    virtual ~Printer() = default;

    void beginDoc();
    // Ends the job: the pages go to the printer, unless the job was aborted.
    void endDoc();
    void newPage();
    // Cancels the running job: later pages and drawing are dropped and the output is
    // discarded where the device allows it. The job still ends with endDoc().
    void abort();

    // Asked while a file target that is a pipe or a device takes no more of the job;
    // false stops the job with EInOutError (AtomicFile::setStallWait). Devices that
    // write no such file ask nothing.
    virtual void setStallWait(std::function<bool()> wait) { Q_UNUSED(wait); }

    // A job is running (between beginDoc and endDoc).
    bool printing() const { return m_printing; }
    // The running job, or the last one, was aborted.
    bool aborted() const { return m_aborted; }
    // Pages begun in the running or last job.
    int pageNumber() const { return m_pageNumber; }

    virtual PrintCanvas& canvas() = 0;
    // The printable area of a page, in device pixels.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;
    // Device pixels per inch.
    virtual int dpiX() const = 0;
    virtual int dpiY() const = 0;

protected:
    // What the device does for each step; the state checks are done before.
    virtual void startJob() = 0;
    virtual void finishJob() = 0;
    virtual void startPage() = 0;
    virtual void abortJob() = 0;

private:
    void checkPrinting() const;

    bool m_printing = false;
    bool m_aborted = false;
    int m_pageNumber = 0;
};
