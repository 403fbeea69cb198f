#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The pieces of an SQL statement as the statement box colours them. A lexical pass
// only: it never asks the engine, and every text, however ill-formed, gives tokens.
enum class SqlTokenKind {
    Keyword, // a word of the SQL language
    Word, // any other word: a table, a column, a function
    Quoted, // 'text' or "name", closed or running to the end
    Number,
    Comment, // -- to the end of the line, /* … */
    Parameter, // :name (a doubled colon is no parameter)
    Other, // blanks, operators, punctuation
};

struct SqlToken {
    qsizetype start = 0;
    qsizetype length = 0;
    SqlTokenKind kind = SqlTokenKind::Other;
};

// The tokens of text, in order, blanks and punctuation included.
QList<SqlToken> sqlTokens(const QString& text);

// The token that holds index `at` of text; a blank at `at` gives the token after it.
SqlToken sqlTokenAt(const QString& text, qsizetype at);

// The SQL keywords that completion offers, in upper case, sorted.
const QStringList& sqlKeywords();

// True when word (any case) is one of sqlKeywords().
bool isSqlKeyword(QStringView word);

// name as a statement must write it to mean that name: as it is when the engine reads
// it back unchanged without quotes (letters, digits and "_", not a digit first, not a
// keyword, and no capital A to Z where unquoted names fold to small letters, as on
// PostgreSQL), otherwise in double quotes with its own double quotes doubled.
QString sqlName(const QString& name, bool foldsToLower);
