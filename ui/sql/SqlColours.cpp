#include "ui/sql/SqlColours.h"

#include "ui/sql/SqlTokens.h"
#include "ui/widgets/ThemeColours.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <optional>

namespace
{

// The ink of each kind of token; names and the rest keep the box's own text colour.
std::optional<ThemeColours::Ink> inkOf(SqlTokenKind kind)
{
    using ThemeColours::Ink;
    switch (kind) {
    case SqlTokenKind::Keyword:
        return Ink::Keyword;
    case SqlTokenKind::Quoted:
        return Ink::Quoted;
    case SqlTokenKind::Number:
        return Ink::Number;
    case SqlTokenKind::Comment:
        return Ink::Comment;
    case SqlTokenKind::Parameter:
        return Ink::Parameter;
    case SqlTokenKind::Word:
    case SqlTokenKind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace

QList<QTextLayout::FormatRange> sqlFormatRanges(const QString& text, const QPalette& palette)
{
    QList<QTextLayout::FormatRange> ranges;
    for (const SqlToken& token : sqlTokens(text)) {
        if (const auto ink = inkOf(token.kind)) {
            QTextCharFormat format;
            format.setForeground(ThemeColours::colour(*ink, palette));
            ranges.append(QTextLayout::FormatRange { int(token.start), int(token.length), format });
        }
    }
    return ranges;
}

LineEditSqlColours::LineEditSqlColours(QLineEdit* edit)
    : QObject(edit)
    , m_edit(edit)
{
    connect(edit, &QLineEdit::textChanged, this, &LineEditSqlColours::recolour);
    ThemeColours::follow(
        edit, [this] { recolour(); }, this);
    recolour();
}

void LineEditSqlColours::recolour()
{
    // The event's positions count from the cursor.
    const int cursor = m_edit->cursorPosition();
    QList<QInputMethodEvent::Attribute> attributes;
    for (const QTextLayout::FormatRange& r : sqlFormatRanges(m_edit->text(), m_edit->palette()))
        attributes.append(
            QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, r.start - cursor, r.length, r.format));
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(m_edit, &event);
}

SqlHighlighter::SqlHighlighter(QWidget* view, QTextDocument* document)
    : QSyntaxHighlighter(document)
    , m_view(view)
{
    ThemeColours::follow(
        view, [this] { rehighlight(); }, this);
}

void SqlHighlighter::highlightBlock(const QString& text)
{
    // The editor holds one statement on one line: each block is the whole statement.
    for (const QTextLayout::FormatRange& r : sqlFormatRanges(text, m_view->palette()))
        setFormat(r.start, r.length, r.format);
}
