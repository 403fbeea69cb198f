#include "ui/sql/SqlCompleter.h"

#include "ui/sql/SqlTokens.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSet>
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

namespace
{

bool inWord(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Where the word that ends at cursor starts.
int wordStart(const QString& text, int cursor)
{
    int start = cursor;
    while (start > 0 && inWord(text[start - 1]))
        --start;
    return start;
}

// The name that ends at `end` of text: a plain word, or a "quoted" name given back
// without its quotes.
QString nameEndingAt(const QString& text, int end)
{
    if (end == 0 || text[end - 1] != u'"')
        return text.mid(wordStart(text, end), end - wordStart(text, end));
    QString name;
    for (int i = end - 2; i >= 0; --i) {
        if (text[i] != u'"') {
            name.prepend(text[i]);
        } else if (i > 0 && text[i - 1] == u'"') {
            name.prepend(u'"');
            --i;
        } else {
            return name;
        }
    }
    return {};
}

// A candidate: the name as the user reads it (what it sorts and matches by), and as it
// is written into the statement.
struct Candidate {
    QString name;
    QString written;
};

void sortByName(QList<Candidate>& list)
{
    std::sort(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
}

class CandidateList
{
public:
    CandidateList(const QString& prefix, bool foldsToLower)
        : m_prefix(prefix)
        , m_folds(foldsToLower)
    {
    }
    void addName(const QString& name)
    {
        // A statement is one line: a name that holds a line break cannot be written in it.
        if (!name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')))
            add(name, sqlName(name, m_folds));
    }
    void add(const QString& name, const QString& written)
    {
        if (name.startsWith(m_prefix, Qt::CaseInsensitive) && !m_seen.contains(written)) {
            m_seen.insert(written);
            m_group << Candidate { name, written };
        }
    }
    // Closes a group: what follows is offered after it.
    void endGroup()
    {
        sortByName(m_group);
        for (const Candidate& c : std::as_const(m_group))
            m_all << c.written;
        m_group.clear();
    }
    QStringList all()
    {
        endGroup();
        return m_all;
    }

private:
    QString m_prefix;
    bool m_folds;
    QSet<QString> m_seen;
    QList<Candidate> m_group;
    QStringList m_all;
};

} // namespace

QStringList SqlCompleter::candidates(const SqlNames& names, const QString& text, int cursor)
{
    const int start = wordStart(text, cursor);
    CandidateList list(text.mid(start, cursor - start), names.foldsToLower);
    if (start > 0 && text[start - 1] == u'.') {
        // An alias is no table of the catalogue: then every table's columns.
        const QString table = nameEndingAt(text, start - 1);
        const auto named = std::find_if(names.tables.cbegin(), names.tables.cend(), [&table](const CatalogueTable& t) {
            return t.reachedByName && t.name.compare(table, Qt::CaseInsensitive) == 0;
        });
        for (const CatalogueTable& t : names.tables)
            if (t.reachedByName && (named == names.tables.cend() || &t == &*named))
                for (const CatalogueColumn& column : t.columns)
                    list.addName(column.name);
        return list.all();
    }
    int before = start;
    while (before > 0 && text[before - 1].isSpace())
        --before;
    static const QStringList tableWords { QStringLiteral("FROM"), QStringLiteral("JOIN"), QStringLiteral("INTO"),
        QStringLiteral("UPDATE") };
    const bool tablesFirst = before < start && tableWords.contains(nameEndingAt(text, before), Qt::CaseInsensitive);
    // A table that needs its schema named is no word of its own: completion leaves it.
    for (const CatalogueTable& t : names.tables)
        if (t.reachedByName)
            list.addName(t.name);
    if (tablesFirst)
        list.endGroup();
    for (const CatalogueTable& t : names.tables)
        if (t.reachedByName)
            for (const CatalogueColumn& column : t.columns)
                list.addName(column.name);
    for (const QString& keyword : sqlKeywords())
        list.add(keyword, keyword);
    return list.all();
}

void SqlCompleter::complete()
{
    const QString t = text();
    const int end = cursor();
    m_wordStart = wordStart(t, end);
    const QStringList words = candidates(m_names ? m_names() : SqlNames(), t, end);
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
