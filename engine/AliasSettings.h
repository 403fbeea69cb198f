#pragma once

#include <QString>

// How an alias resolves: a section of aliases.ini in the application's
// configuration folder, or, with no section, the embedded SQLite file
// <alias>.sqlite in the application's data folder.
struct AliasSettings {
    QString alias;
    bool configured = false; // a section of aliases.ini names it
    QString driver; // "SQLITE", or a Qt SQL driver name ("QPSQL", "QODBC", ...)
    QString database; // file path or server database name
    QString host;
    int port = -1;
    QString user;
    QString password;
    bool hasPassword = false;
    // Why a password written in aliases.ini is not used; empty when it is, or when
    // there is none.
    QString passwordNotice;
    QString options;
    bool readOnly = false;
    // What to say when the server offers no TLS, where the engine asked for it because the
    // alias said nothing of it; empty otherwise.
    QString noTlsRefusal;
    // How the database stores its text (the key "encoding"): empty for UTF-8, or a
    // legacy code page that TextEncoding names.
    QString encoding;

    // PostgreSQL through its own client library; ODBC through Qt SQL.
    bool isPostgres() const { return driver.compare(QLatin1String("QPSQL"), Qt::CaseInsensitive) == 0; }
    bool isOdbc() const { return driver.compare(QLatin1String("QODBC"), Qt::CaseInsensitive) == 0; }
};
