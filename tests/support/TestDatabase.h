#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// Test-wide set-up: Qt's test paths (never the user's files), French regional settings,
// and a store of secrets that does not answer in place of the system's (never the user's
// keyring). Call once from initTestCase().
void initTestEnvironment();
// Makes aliases.ini readable by its owner alone, as a file that holds passwords must
// be for them to be used. Files rewritten in place or through QSettings keep the mode.
void keepAliasesPrivate();

// A SQLite database in a temporary folder, reached through an alias section of
// aliases.ini. The file starts with the settings table ListBase (TTTYPES empty,
// POLICE5 ";") unless told otherwise. Destroying it closes the alias's connection
// and removes the section.
class TestDatabase
{
public:
    enum Content { WithSettings, Empty };
    explicit TestDatabase(Content content = WithSettings, const QString& alias = QStringLiteral("Velorin"));
    ~TestDatabase();

    const QString& path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    // Runs statements on the file through a connection of its own.
    void exec(const QString& sql) const;
    // The first column of the first row of a query (null when there is no row).
    QVariant value(const QString& sql) const;
    // Rewrites the alias's section; readOnly adds readonly=true.
    void setReadOnly(bool readOnly);

private:
    void writeAlias(bool readOnly);

    QTemporaryDir m_dir;
    QString m_alias;
    QString m_path;
};
