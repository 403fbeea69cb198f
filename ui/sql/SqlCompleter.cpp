#include "ui/sql/SqlCompleter.h"

#include "ui/sql/SqlTokens.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QStringListModel>
#include <QTextBlock>
#include <algorithm>

SqlCompleter::SqlCompleter(QWidget* owner, QWidget* keys, Names names)
    : QObject(owner)
    , m_names(std::move(names))
    , m_completer(new QCompleter(this))
{
    m_completer->setModel(new QStringListModel(m_completer));
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setWidget(owner);
    m_completer->popup()->setObjectName(QStringLiteral("SqlCompletions"));
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this, &SqlCompleter::replaceWord);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Space), keys, nullptr, nullptr,
        keys == owner ? Qt::WidgetShortcut : Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, &SqlCompleter::complete);
}

SqlCompleter::SqlCompleter(QLineEdit* edit, QWidget* keys, Names names)
    : SqlCompleter(static_cast<QWidget*>(edit), keys, std::move(names))
{
    m_line = edit;
}

SqlCompleter::SqlCompleter(QPlainTextEdit* edit, Names names)
    : SqlCompleter(static_cast<QWidget*>(edit), edit, std::move(names))
{
    m_plain = edit;
}

QString SqlCompleter::text() const
{
    return m_line ? m_line->text() : m_plain->textCursor().block().text();
}

int SqlCompleter::cursor() const
{
    return m_line ? m_line->cursorPosition() : m_plain->textCursor().positionInBlock();
}

QStringList SqlCompleter::candidates(const QStringList& names, const QString& prefix)
{
    QStringList all;
    for (const QStringList* list : { &names, &sqlKeywords() }) {
        for (const QString& word : *list) {
            if (word.startsWith(prefix, Qt::CaseInsensitive) && !all.contains(word))
                all << word;
        }
    }
    std::sort(all.begin(), all.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return all;
}

void SqlCompleter::complete()
{
    const QString t = text();
    const int end = cursor();
    m_wordStart = end;
    while (m_wordStart > 0 && (t[m_wordStart - 1].isLetterOrNumber() || t[m_wordStart - 1] == u'_'))
        --m_wordStart;
    const QString prefix = t.mid(m_wordStart, end - m_wordStart);
    const QStringList words = candidates(m_names ? m_names() : QStringList(), prefix);
    if (words.isEmpty())
        return;
    if (words.size() == 1) {
        replaceWord(words.constFirst());
        return;
    }
    static_cast<QStringListModel*>(m_completer->model())->setStringList(words);
    m_completer->setCompletionPrefix(QString());
    QRect place = m_line ? m_line->inputMethodQuery(Qt::ImCursorRectangle).toRect() : m_plain->cursorRect();
    QAbstractItemView* popup = m_completer->popup();
    place.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width() + 8);
    m_completer->complete(place);
    popup->setCurrentIndex(m_completer->completionModel()->index(0, 0));
}

void SqlCompleter::replaceWord(const QString& word)
{
    const int end = cursor();
    if (m_line) {
        m_line->setSelection(m_wordStart, end - m_wordStart);
        m_line->insert(word);
        return;
    }
    QTextCursor c = m_plain->textCursor();
    c.setPosition(c.block().position() + m_wordStart);
    c.setPosition(c.block().position() + end, QTextCursor::KeepAnchor);
    c.insertText(word);
    m_plain->setTextCursor(c);
}
