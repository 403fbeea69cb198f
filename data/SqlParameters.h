#pragma once

#include <QString>
#include <QStringList>

// A statement as the engine receives it, and the named parameters found in it.
struct ParsedStatement {
    QString text; // doubled colons outside quotes reduced to one
    QStringList params; // names, in order of appearance
    QList<qsizetype> places; // where each of params starts in text (its colon)

    // The names of params, each once, in order of appearance.
    QStringList names() const
    {
        QStringList distinct = params;
        distinct.removeDuplicates();
        return distinct;
    }
};

// Scans a statement for named parameters. Outside quoted text (every apostrophe
// and every double quote switches between quoted and unquoted text), "::" stands
// for one literal colon and ":" followed by anything else starts a parameter whose
// name runs to the first blank, tab, comma, semicolon, ")", line break or the end.
ParsedStatement scanParameters(const QString& sql);

// The index in sql of what lies at index `position` of scanParameters(sql).text: each
// doubled colon before it counts twice. -1 stays -1.
qsizetype sourcePosition(const QString& sql, qsizetype position);
