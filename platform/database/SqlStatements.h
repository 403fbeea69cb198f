#pragma once

#include <QByteArrayView>
#include <QString>

// The statements of an SQL text as a lexical pass sees them, without asking the
// engine. Quoted text and names, comments and the body of a CREATE TRIGGER are
// stepped over, so a semicolon inside them ends no statement.
struct SqlStatementScan {
    int statements = 0;
    // One statement starts with BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT, RELEASE,
    // VACUUM, ATTACH, DETACH, START or ABORT, or sets a PRAGMA: the text manages its
    // own transactions.
    bool managesTransactions = false;
};

SqlStatementScan scanStatements(QByteArrayView utf8);

// True when only blanks, comments and semicolons remain. Reads no further than the
// first word, however long the text.
bool holdsNoStatement(QByteArrayView utf8);

// The first statement of utf8: from its first word to its closing semicolon (or the end).
QByteArrayView firstStatement(QByteArrayView utf8);

// True when a statement may name a table by name without quotes (ASCII letters, digits
// and underscores, not a digit first): the server then finds it as it finds any name
// written plain, letter case folded its way.
bool isPlainName(const QString& name);

// The message of a statement of several that failed: its number (from 1) before the
// engine's own text, then the start of the statement, blanks run together.
QString statementFailure(int number, const QString& engineMessage, QByteArrayView statement);
