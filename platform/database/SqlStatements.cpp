#include "database/SqlStatements.h"
#include "Utf8.h"

#include <QRegularExpression>

namespace
{

constexpr qsizetype kExcerptLength = 80;

enum class Token { End, Word, Semicolon, Other };

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool isWordByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$'
        || u >= 0x80;
}

bool isWord(QByteArrayView word, const char* upper)
{
    return word.compare(QByteArrayView(upper), Qt::CaseInsensitive) == 0;
}

// Splits SQL text into words, semicolons and everything else, stepping over blanks,
// comments, quoted text ('...', "...", `...`, [...], E'...') and dollar-quoted bodies
// ($tag$...$tag$).
class Lexer
{
public:
    Lexer(const char* begin, const char* end)
        : m_p(begin)
        , m_end(end)
    {
    }

    Token next()
    {
        skipBlanksAndComments();
        m_start = m_p;
        if (m_p == m_end)
            return Token::End;
        const char c = *m_p;
        if (c == ';') {
            ++m_p;
            return Token::Semicolon;
        }
        if (c == '\'' || c == '"' || c == '`') {
            skipQuoted(c);
            return Token::Other;
        }
        if (c == '[') {
            skipQuoted(']');
            return Token::Other;
        }
        if (c == '$' && skipDollarQuoted())
            return Token::Other;
        // PostgreSQL's E'...' text, where a backslash escapes the next character.
        if ((c == 'E' || c == 'e') && m_p + 1 < m_end && m_p[1] == '\'') {
            ++m_p;
            skipQuoted('\'', true);
            return Token::Other;
        }
        if (isWordByte(c)) {
            while (m_p < m_end && isWordByte(*m_p))
                ++m_p;
            return Token::Word;
        }
        ++m_p;
        return Token::Other;
    }

    const char* start() const { return m_start; }
    const char* position() const { return m_p; }
    QByteArrayView text() const { return QByteArrayView(m_start, m_p - m_start); }

private:
    void skipBlanksAndComments()
    {
        while (m_p < m_end) {
            if (isBlank(*m_p)) {
                ++m_p;
            } else if (*m_p == '-' && m_p + 1 < m_end && m_p[1] == '-') {
                while (m_p < m_end && *m_p != '\n')
                    ++m_p;
            } else if (*m_p == '/' && m_p + 1 < m_end && m_p[1] == '*') {
                m_p += 2;
                while (m_p + 1 < m_end && !(m_p[0] == '*' && m_p[1] == '/'))
                    ++m_p;
                m_p = m_p + 1 < m_end ? m_p + 2 : m_end;
            } else {
                return;
            }
        }
    }

    // A doubled closing quote stands for itself inside the quotes (not a doubled "]");
    // with backslash, as in E'...', a backslash escapes the next character.
    void skipQuoted(char close, bool backslash = false)
    {
        ++m_p;
        while (m_p < m_end) {
            const char c = *m_p++;
            if (backslash && c == '\\') {
                if (m_p < m_end)
                    ++m_p;
            } else if (c == close) {
                if (m_p < m_end && *m_p == close && close != ']')
                    ++m_p;
                else
                    return;
            }
        }
    }

    // $$ or $tag$ opens a body that runs to the same mark; $1 is a parameter.
    bool skipDollarQuoted()
    {
        const char* tagEnd = m_p + 1;
        while (tagEnd < m_end && *tagEnd != '$' && isWordByte(*tagEnd))
            ++tagEnd;
        if (tagEnd == m_end || *tagEnd != '$' || (tagEnd > m_p + 1 && m_p[1] >= '0' && m_p[1] <= '9'))
            return false;
        const QByteArrayView tag(m_p, tagEnd + 1 - m_p);
        const QByteArrayView rest(tagEnd + 1, m_end - tagEnd - 1);
        const qsizetype close = rest.indexOf(tag);
        m_p = close < 0 ? m_end : rest.data() + close + tag.size();
        return true;
    }

    const char* m_p;
    const char* m_end;
    const char* m_start = nullptr;
};

struct Span {
    const char* begin = nullptr;
    const char* end = nullptr;
    QByteArrayView firstWord;
    bool assigns = false; // holds an "=" outside quotes
};

// Reads one statement; false when only blanks, comments and semicolons remain.
bool nextStatement(Lexer& lexer, const char* textEnd, Span& span)
{
    Token t;
    do
        t = lexer.next();
    while (t == Token::Semicolon);
    if (t == Token::End)
        return false;
    span.begin = lexer.start();
    span.firstWord = t == Token::Word ? lexer.text() : QByteArrayView();
    span.assigns = false;
    // Inside CREATE [TEMP] TRIGGER ... BEGIN ... END, semicolons end the trigger's own
    // statements; CASE ... END nests within it.
    const bool create = isWord(span.firstWord, "CREATE");
    bool trigger = false;
    int words = 1;
    int depth = 0;
    for (;;) {
        t = lexer.next();
        if (t == Token::End) {
            span.end = textEnd;
            return true;
        }
        if (t == Token::Semicolon && depth == 0) {
            span.end = lexer.position();
            return true;
        }
        if (t == Token::Other && lexer.text() == "=")
            span.assigns = true;
        if (t != Token::Word)
            continue;
        const QByteArrayView word = lexer.text();
        if (create && ++words <= 3 && isWord(word, "TRIGGER"))
            trigger = true;
        else if (trigger && (isWord(word, "BEGIN") || isWord(word, "CASE")))
            ++depth;
        else if (trigger && depth > 0 && isWord(word, "END"))
            --depth;
    }
}

// A PRAGMA that sets a value acts on the connection, which a transaction would ignore
// (foreign_keys) or refuse (journal_mode=WAL): it is taken as managing transactions too.
bool managesTransactions(const Span& span)
{
    if (span.assigns && isWord(span.firstWord, "PRAGMA"))
        return true;
    const QByteArrayView firstWord = span.firstWord;
    for (const char* word : { "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE", "VACUUM", "ATTACH",
             "DETACH", "START", "ABORT" })
        if (isWord(firstWord, word))
            return true;
    return false;
}

} // namespace

SqlStatementScan scanStatements(QByteArrayView utf8)
{
    SqlStatementScan scan;
    const char* const end = utf8.data() + utf8.size();
    Lexer lexer(utf8.data(), end);
    Span span;
    while (nextStatement(lexer, end, span)) {
        ++scan.statements;
        if (managesTransactions(span))
            scan.managesTransactions = true;
    }
    return scan;
}

bool holdsNoStatement(QByteArrayView utf8)
{
    Lexer lexer(utf8.data(), utf8.data() + utf8.size());
    Token t;
    do
        t = lexer.next();
    while (t == Token::Semicolon);
    return t == Token::End;
}

QByteArrayView firstStatement(QByteArrayView utf8)
{
    const char* const end = utf8.data() + utf8.size();
    Lexer lexer(utf8.data(), end);
    Span span;
    if (!nextStatement(lexer, end, span))
        return {};
    return QByteArrayView(span.begin, span.end - span.begin);
}

QString statementFailure(int number, const QString& engineMessage, QByteArrayView statement)
{
    QString excerpt = Utf8::decode(firstStatement(statement)).simplified();
    if (excerpt.endsWith(QLatin1Char(';')))
        excerpt = excerpt.chopped(1).trimmed();
    if (excerpt.size() > kExcerptLength) {
        const qsizetype cut = excerpt.at(kExcerptLength - 1).isHighSurrogate() ? kExcerptLength - 1 : kExcerptLength;
        excerpt = excerpt.left(cut).trimmed() + QChar(0x2026);
    }
    return QStringLiteral("Instruction %1 : %2\n« %3 »").arg(QString::number(number), engineMessage, excerpt);
}

bool isPlainName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}
