#pragma once

#include <QList>
#include <QObject>
#include <QSyntaxHighlighter>
#include <QTextLayout>

class QLineEdit;
class QPalette;
class QTextDocument;

// The colours of a statement: keywords, quoted text, numbers, comments and parameters,
// the same in the statement box and in the query editor, in the shades that read on
// the palette's base. Colours only: no token changes the text's width.
QList<QTextLayout::FormatRange> sqlFormatRanges(const QString& text, const QPalette& palette);

// Colours a line edit's text as it changes, and again when its palette does. A line edit has no document for a
// highlighter: the formats go to its text layout as the attributes of an empty input
// method event, which leaves the text, the cursor, the selection and the undo history
// as they are.
class LineEditSqlColours : public QObject
{
    Q_OBJECT
public:
    // Owned by edit.
    explicit LineEditSqlColours(QLineEdit* edit);

private:
    void recolour();
    QLineEdit* m_edit;
};

// Colours a text document's statement, as the query editor shows it in view: in the
// shades of view's palette, again when it changes.
class SqlHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    SqlHighlighter(QWidget* view, QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    QWidget* m_view;
};
