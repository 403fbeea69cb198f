#pragma once

#include <QLocale>
#include <QString>

// The regional settings the program meets and, for each column type whose text follows
// them, a table t (v <type>, n INTEGER) whose v values include the widest that type
// shows there. Adds one data row per locale and type, named "<locale>, <type>", with
// the columns "locale" and "setup" (both QString).
void addWidestValueRows();

// Makes locale the default while it lives (data sets read theirs when they open), then
// the tests' French regional settings again.
class DefaultLocale
{
public:
    explicit DefaultLocale(const QString& locale);
    ~DefaultLocale();
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;
};
