#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <vector>

// A value given to a statement's parameter: a text, or null. Engines bind it as an
// untyped text, which the database converts where the statement wants another type
// (SQLite by the column's affinity, PostgreSQL by the type it infers).
struct ParameterValue {
    QString text;
    bool null = false;

    bool operator==(const ParameterValue& other) const = default;
};

// A parameter's name and the value given to it.
struct NamedValue {
    QString name;
    ParameterValue value;

    bool operator==(const NamedValue& other) const = default;
};
using NamedValues = QList<NamedValue>;

// A parameter of a statement's text: where it stands (indexes of the text, the whole
// mark such as ":nom") and its value.
struct BoundParameter {
    qsizetype start = 0;
    qsizetype length = 0;
    ParameterValue value;
};
// In the order of their places, none overlapping another.
using BoundParameters = std::vector<BoundParameter>;

// A statement as an engine sends it: its text with a placeholder where each parameter
// stood, and the values of those placeholders in order.
struct BoundStatement {
    QByteArray sql;
    std::vector<ParameterValue> values;
};

// The parameters of a text, found again in its UTF-8 form, which is what the engines
// split into statements and send.
class ParameterPlaces
{
public:
    // The engine's placeholder of the parameter number n (from 1): "?1", "$1", "?".
    using Placeholder = QByteArray (*)(int n);

    ParameterPlaces() = default;
    ParameterPlaces(const QString& text, const BoundParameters& parameters);

    bool empty() const { return m_places.empty(); }

    // part (a view into utf8, the text's UTF-8 form) with each parameter inside it
    // replaced by its placeholder, numbered from 1 within part, and their values in
    // that order. A placeholder is padded with blanks to the mark's length, so that a
    // place the engine points at in the statement sent is the same place in the
    // statement written (a placeholder longer than its mark shifts what follows).
    BoundStatement bind(QByteArrayView utf8, QByteArrayView part, Placeholder placeholder) const;

private:
    struct Place {
        qsizetype byteStart = 0;
        qsizetype byteLength = 0;
        qsizetype length = 0; // in the text's UTF-16 units
        ParameterValue value;
    };
    std::vector<Place> m_places;
};
