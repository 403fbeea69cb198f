#include "RecordingPrinter.h"

QList<QList<RecordingPrinter::Text>> RecordingPrinter::pages() const
{
    QList<QList<Text>> result;
    for (const Call& call : calls) {
        if (call.kind == Call::Begin)
            result = { {} };
        else if (call.kind == Call::NewPage)
            result.append(QList<Text>());
        else if (call.kind == Call::TextOut)
            result.last().append({ call.text, call.x, call.y, call.font });
    }
    return result;
}

QList<RecordingPrinter::Call::Kind> RecordingPrinter::kinds() const
{
    QList<Call::Kind> result;
    for (const Call& call : calls)
        result << call.kind;
    return result;
}

int RecordingPrinter::charWidth(const PrintFont& font)
{
    return font.size * (font.style.testFlag(FontStyle::Bold) ? 6 : 5);
}

int RecordingPrinter::lineHeight(const PrintFont& font)
{
    return font.size * 10;
}

void RecordingPrinter::record(Call::Kind kind, const QString& text, int x, int y)
{
    calls.append({ kind, m_canvas.m_font, text, x, y });
}

void RecordingPrinter::Canvas::selectFont(const PrintFont& font)
{
    m_font = font;
    m_printer.record(Call::SelectFont);
}

void RecordingPrinter::Canvas::setStyle(FontStyles style)
{
    m_font.style = style;
    m_printer.record(Call::SetStyle);
}

int RecordingPrinter::Canvas::textWidth(const QString& text)
{
    m_printer.record(Call::TextWidth, text);
    return int(text.size()) * charWidth(m_font);
}

int RecordingPrinter::Canvas::textHeight(const QString& text)
{
    m_printer.record(Call::TextHeight, text);
    return lineHeight(m_font);
}

void RecordingPrinter::Canvas::textOut(int x, int y, const QString& text)
{
    m_printer.record(Call::TextOut, text, x, y);
}
