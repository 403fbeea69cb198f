#include "ui/sql/SqlTokens.h"

#include <QSet>
#include <algorithm>

namespace
{

bool startsWord(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool inWord(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The end of the token that starts at i, and its kind.
qsizetype scanOne(const QString& t, qsizetype i, SqlTokenKind& kind)
{
    const qsizetype n = t.size();
    const QChar c = t[i];
    const auto next = [&](qsizetype k) { return k < n ? t[k] : QChar(); };
    if (c == u'-' && next(i + 1) == u'-') {
        kind = SqlTokenKind::Comment;
        qsizetype end = i;
        while (end < n && t[end] != u'\n' && t[end] != u'\r')
            ++end;
        return end;
    }
    if (c == u'/' && next(i + 1) == u'*') {
        kind = SqlTokenKind::Comment;
        const qsizetype close = t.indexOf(QStringLiteral("*/"), i + 2);
        return close < 0 ? n : close + 2;
    }
    if (c == u'\'' || c == u'"') {
        // A doubled quote stays inside.
        kind = SqlTokenKind::Quoted;
        qsizetype end = i + 1;
        while (end < n) {
            if (t[end] == c && next(end + 1) == c)
                end += 2;
            else if (t[end++] == c)
                break;
        }
        return end;
    }
    if (c == u':' && next(i + 1) != u':' && startsWord(next(i + 1)) && (i == 0 || t[i - 1] != u':')) {
        kind = SqlTokenKind::Parameter;
        qsizetype end = i + 1;
        while (end < n && inWord(t[end]))
            ++end;
        return end;
    }
    if (c.isDigit() || (c == u'.' && next(i + 1).isDigit())) {
        kind = SqlTokenKind::Number;
        qsizetype end = i;
        while (end < n
            && (t[end].isLetterOrNumber() || t[end] == u'.'
                || ((t[end] == u'+' || t[end] == u'-') && (t[end - 1] == u'e' || t[end - 1] == u'E'))))
            ++end;
        return end;
    }
    if (startsWord(c)) {
        qsizetype end = i;
        while (end < n && inWord(t[end]))
            ++end;
        kind = isSqlKeyword(QStringView(t).sliced(i, end - i)) ? SqlTokenKind::Keyword : SqlTokenKind::Word;
        return end;
    }
    kind = SqlTokenKind::Other;
    qsizetype end = i + 1;
    // Blanks run together, so does a run of operator characters.
    while (end < n && c.isSpace() && t[end].isSpace())
        ++end;
    return end;
}

} // namespace

QList<SqlToken> sqlTokens(const QString& text)
{
    QList<SqlToken> tokens;
    for (qsizetype i = 0; i < text.size();) {
        SqlToken token;
        token.start = i;
        i = scanOne(text, i, token.kind);
        token.length = i - token.start;
        tokens.append(token);
    }
    return tokens;
}

SqlToken sqlTokenAt(const QString& text, qsizetype at)
{
    const QList<SqlToken> tokens = sqlTokens(text);
    for (const SqlToken& t : tokens) {
        if (t.start + t.length <= at)
            continue;
        if (t.kind == SqlTokenKind::Other && text[t.start].isSpace() && &t != &tokens.constLast())
            continue;
        return t;
    }
    return SqlToken { qBound(qsizetype(0), at, text.size()), 0, SqlTokenKind::Other };
}

const QStringList& sqlKeywords()
{
    static const QStringList words = [] {
        QStringList w = QStringLiteral(
            "ABORT ADD ALL ALTER ANALYZE AND AS ASC ATTACH AUTOINCREMENT BEGIN BETWEEN BY CASCADE CASE CAST CHECK "
            "COLLATE COLUMN COMMIT CONSTRAINT COUNT CREATE CROSS CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP "
            "DEFAULT DELETE DESC DETACH DISTINCT DROP ELSE END ESCAPE EXCEPT EXISTS EXPLAIN FALSE FOREIGN FROM "
            "FULL GLOB GROUP HAVING IF ILIKE IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY LEFT LIKE LIMIT "
            "NATURAL NOT NULL OFFSET ON OR ORDER OUTER PRAGMA PRIMARY RECURSIVE REFERENCES RELEASE RENAME "
            "REPLACE RETURNING RIGHT ROLLBACK SAVEPOINT SELECT SET TABLE TEMPORARY THEN TO TRANSACTION TRIGGER "
            "TRUE UNION UNIQUE UPDATE USING VACUUM VALUES VIEW WHEN WHERE WITH")
                            .split(QLatin1Char(' '));
        std::sort(w.begin(), w.end());
        return w;
    }();
    return words;
}

bool isSqlKeyword(QStringView word)
{
    static const QSet<QString> set(sqlKeywords().cbegin(), sqlKeywords().cend());
    return word.size() <= 17 && set.contains(word.toString().toUpper());
}

QString sqlName(const QString& name, bool foldsToLower)
{
    const bool plain = !name.isEmpty() && startsWord(name.front()) && !isSqlKeyword(name)
        && std::all_of(name.cbegin(), name.cend(), [foldsToLower](QChar c) {
               return (c.isLetterOrNumber() || c == u'_') && !(foldsToLower && c >= u'A' && c <= u'Z');
           });
    if (plain)
        return name;
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}
