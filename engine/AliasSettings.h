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
    // How the database stores its text (the key "encoding"): empty for UTF-8, or a
    // legacy code page that TextEncoding names.
    QString encoding;
};
