#pragma once

#include <QByteArrayView>
#include <QString>
#include <vector>

// How the statements of a text run.
enum class TextRun {
    Single, // one statement, as it is
    AllOrNone, // several in a savepoint: a failure undoes those that ran before it
    AsWritten, // several that cannot share a transaction: each one that ran stays applied
};

// The statements of an SQL text as a lexical pass sees them, without asking the
// engine. Quoted text and names, comments and the body of a CREATE TRIGGER are
// stepped over, so a semicolon inside them ends no statement.
struct SqlStatementScan {
    int statements = 0;
    // One statement starts with BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT, RELEASE,
    // VACUUM, ATTACH, DETACH, START or ABORT (the text manages its own transactions or
    // does what no transaction may hold), or is one of the PRAGMAs that SQLite ignores
    // or refuses inside a transaction.
    bool outsideTransaction = false;

    [[nodiscard]] TextRun run() const
    {
        if (statements < 2)
            return TextRun::Single;
        return outsideTransaction ? TextRun::AsWritten : TextRun::AllOrNone;
    }
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

// Every statement of utf8 as firstStatement() gives it, in order.
std::vector<QByteArrayView> splitStatements(QByteArrayView utf8);

// True when a statement of utf8 may change which tables and columns there are, by its
// first word: CREATE, ALTER, DROP, ATTACH, DETACH, IMPORT; ROLLBACK and ABORT, which
// undo such changes; SET, RESET and DISCARD, which change the schemas that names reach;
// DO and CALL, whose bodies may do any of these; and SELECT ... INTO, which makes a
// table on PostgreSQL. A function called by a SELECT goes unseen.
bool mayChangeSchema(QByteArrayView utf8);

// What a statement does to the session's transaction, by its first words.
enum class TransactionEffect {
    None, // leaves it as it was
    Opens, // BEGIN, START TRANSACTION, SAVEPOINT: opens one, or nests in the one open
    Ends, // COMMIT, END, ABORT, ROLLBACK (not ROLLBACK TO): ends the one open
};
TransactionEffect transactionEffect(QByteArrayView statement);

// The message of the failed statement `number` (from 1) of a text run that way: the
// engine's own text for a single statement; for one of several, its number before the
// engine's text, then the start of the statement, blanks run together, and for a text
// run as written, the statements that were applied before it.
QString statementFailure(TextRun run, int number, const QString& engineMessage, QByteArrayView statement);
