#include "engine/SqlStatements.h"
#include "platform/Utf8.h"

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
    // PRAGMA [schema.]name [= value | (value)]: the name, and whether a value follows.
    QByteArrayView pragmaName;
    bool pragmaSets = false;
};

// Reads the pragma's name and what follows it, one token at a time.
class PragmaReader
{
public:
    explicit PragmaReader(Span& span)
        : m_span(span)
        , m_reading(isWord(span.firstWord, "PRAGMA"))
    {
    }

    void take(Token t, QByteArrayView text)
    {
        if (!m_reading)
            return;
        if (t == Token::Word) {
            m_span.pragmaName = text;
        } else if (!(t == Token::Other && text == ".")) {
            m_span.pragmaSets = t == Token::Other && (text == "=" || text == "(");
            m_reading = false;
        }
    }

private:
    Span& m_span;
    bool m_reading;
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
    span.pragmaName = {};
    span.pragmaSets = false;
    PragmaReader pragma(span);
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
        pragma.take(t, lexer.text());
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

// The pragmas that SQLite ignores or refuses inside a transaction when they set a value:
//   foreign_keys          a no-op while a transaction is open;
//   journal_mode          refused into WAL ("cannot change into wal mode from within a
//                         transaction"), ignored out of it;
//   synchronous           refused ("Safety level may not be changed inside a transaction");
//   temp_store, temp_store_directory
//                         refused once a temporary table exists ("temporary storage cannot
//                         be changed from within a transaction").
// The others act the same inside the batch's savepoint: defer_foreign_keys is meant for a
// transaction (it holds until the transaction ends), locking_mode takes effect at the next
// lock either way, page_size and auto_vacuum change an existing database only through
// VACUUM, which runs without a savepoint anyway, and the rest (user_version, cache_size,
// recursive_triggers...) set at once, or are undone with the batch.
bool setsOutsideTransaction(QByteArrayView pragma)
{
    for (const char* name : { "FOREIGN_KEYS", "JOURNAL_MODE", "SYNCHRONOUS", "TEMP_STORE", "TEMP_STORE_DIRECTORY" })
        if (isWord(pragma, name))
            return true;
    return false;
}

// A statement that a transaction cannot hold: transaction control, VACUUM, ATTACH,
// DETACH, a pragma above setting its value, and wal_checkpoint, which cannot copy the
// log past the connection's own open transaction ("database table is locked").
bool runsOutsideTransaction(const Span& span)
{
    if (isWord(span.firstWord, "PRAGMA"))
        return isWord(span.pragmaName, "WAL_CHECKPOINT")
            || (span.pragmaSets && setsOutsideTransaction(span.pragmaName));
    const QByteArrayView firstWord = span.firstWord;
    for (const char* word : { "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE", "VACUUM", "ATTACH",
             "DETACH", "START", "ABORT" })
        if (isWord(firstWord, word))
            return true;
    return false;
}

// "Les instructions 1 à 3 ont été appliquées." before statement 4; nothing before the first.
QString appliedBefore(int number)
{
    if (number <= 1)
        return {};
    if (number == 2)
        return QStringLiteral("\nL'instruction 1 a été appliquée.");
    return QStringLiteral("\nLes instructions 1 à %1 ont été appliquées.").arg(number - 1);
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
        if (runsOutsideTransaction(span))
            scan.outsideTransaction = true;
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

std::vector<QByteArrayView> splitStatements(QByteArrayView utf8)
{
    std::vector<QByteArrayView> statements;
    for (;;) {
        const QByteArrayView s = firstStatement(utf8);
        if (s.isEmpty())
            return statements;
        statements.push_back(s);
        utf8 = utf8.sliced(s.data() + s.size() - utf8.data());
    }
}

bool mayChangeSchema(QByteArrayView utf8)
{
    for (const QByteArrayView statement : splitStatements(utf8)) {
        Lexer lexer(statement.data(), statement.data() + statement.size());
        if (lexer.next() != Token::Word)
            continue;
        const QByteArrayView first = lexer.text();
        for (const char* word : { "CREATE", "ALTER", "DROP", "ATTACH", "DETACH", "IMPORT", "ROLLBACK", "ABORT", "SET",
                 "RESET", "DISCARD", "DO", "CALL" })
            if (isWord(first, word))
                return true;
        if (isWord(first, "SELECT") || isWord(first, "WITH"))
            for (Token t = lexer.next(); t != Token::End; t = lexer.next())
                if (t == Token::Word && isWord(lexer.text(), "INTO"))
                    return true;
    }
    return false;
}

TransactionEffect transactionEffect(QByteArrayView statement)
{
    Lexer lexer(statement.data(), statement.data() + statement.size());
    QByteArrayView words[2];
    for (QByteArrayView& word : words)
        if (lexer.next() == Token::Word)
            word = lexer.text();
    for (const char* opens : { "BEGIN", "START", "SAVEPOINT" })
        if (isWord(words[0], opens))
            return TransactionEffect::Opens;
    if (isWord(words[0], "ROLLBACK")) {
        // ROLLBACK [WORK | TRANSACTION] TO [SAVEPOINT] a keeps the transaction open.
        QByteArrayView to = words[1];
        if (isWord(to, "WORK") || isWord(to, "TRANSACTION"))
            to = lexer.next() == Token::Word ? lexer.text() : QByteArrayView();
        return isWord(to, "TO") ? TransactionEffect::None : TransactionEffect::Ends;
    }
    for (const char* ends : { "COMMIT", "END", "ABORT" })
        if (isWord(words[0], ends))
            return TransactionEffect::Ends;
    return TransactionEffect::None;
}

QString statementFailure(TextRun run, int number, const QString& engineMessage, QByteArrayView statement)
{
    if (run == TextRun::Single)
        return engineMessage;
    QString excerpt = Utf8::decode(firstStatement(statement)).simplified();
    if (excerpt.endsWith(QLatin1Char(';')))
        excerpt = excerpt.chopped(1).trimmed();
    if (excerpt.size() > kExcerptLength) {
        const qsizetype cut = excerpt.at(kExcerptLength - 1).isHighSurrogate() ? kExcerptLength - 1 : kExcerptLength;
        excerpt = excerpt.left(cut).trimmed() + QChar(0x2026);
    }
    return QStringLiteral("Instruction %1 : %2\n« %3 »").arg(QString::number(number), engineMessage, excerpt)
        + (run == TextRun::AsWritten ? appliedBefore(number) : QString());
}

bool isPlainName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}
