#pragma once

#include "output/printing/Printer.h"

#include <QList>

// A printer that keeps every call, with metrics worked out from the font size alone:
// each character is 5 pixels wide per point (6 in bold), a line is 10 pixels high per
// point. The canvas starts in Arial 10 points, as the real one; the page is about
// A4 at 600 dots per inch unless told otherwise.
class RecordingPrinter : public Printer
{
public:
    struct Call {
        enum Kind { Begin, End, NewPage, Abort, SelectFont, SetStyle, TextWidth, TextHeight, TextOut };
        Kind kind;
        PrintFont font; // the canvas's font once the call is done
        QString text; // measured or drawn
        int x = 0;
        int y = 0;
    };
    // A string drawn, where and how.
    struct Text {
        QString text;
        int x;
        int y;
        PrintFont font;
        friend bool operator==(const Text&, const Text&) = default;
    };

    QList<Call> calls;
    int width = 4800;
    int height = 6800;
    int dpi = 600;

    // The strings drawn, page by page, in the last job.
    QList<QList<Text>> pages() const;
    QList<Call::Kind> kinds() const;

    static int charWidth(const PrintFont& font);
    static int lineHeight(const PrintFont& font);

    PrintCanvas& canvas() override { return m_canvas; }
    int pageWidth() const override { return width; }
    int pageHeight() const override { return height; }
    int dpiX() const override { return dpi; }
    int dpiY() const override { return dpi; }

protected:
    void startJob() override { record(Call::Begin); }
    void finishJob() override { record(Call::End); }
    void startPage() override { record(Call::NewPage); }
    void abortJob() override { record(Call::Abort); }

private:
    void record(Call::Kind kind, const QString& text = {}, int x = 0, int y = 0);

    class Canvas : public PrintCanvas
    {
    public:
        explicit Canvas(RecordingPrinter& printer)
            : m_printer(printer)
        {
        }
        void selectFont(const PrintFont& font) override;
        void setStyle(FontStyles style) override;
        const PrintFont& font() const override { return m_font; }
        int textWidth(const QString& text) override;
        int textHeight(const QString& text) override;
        void textOut(int x, int y, const QString& text) override;

    private:
        friend class RecordingPrinter;
        RecordingPrinter& m_printer;
        PrintFont m_font { QStringLiteral("Arial"), 10, {}, QFont::SansSerif };
    };

    Canvas m_canvas { *this };
};
