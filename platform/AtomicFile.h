#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// Error text for a system file error code, as the program reports it:
// 2 "Fichier introuvable", 3 "Nom de fichier incorrect", 4 "Trop de fichiers ouverts",
// 5 "Accès au fichier refusé", anything else "Erreur E/S <code>".
QString inOutErrorMessage(int code);

// Maps the C library's errno to the program's file error codes (see EInOutError).
int fileErrorCode(int systemError);

// A file written atomically: the bytes go to a temporary file in the target's folder,
// which replaces the target only at commit(). Until commit() succeeds the target is
// untouched; destroying an uncommitted file discards the temporary.
//
// Every write goes straight to the temporary file (callers buffer) and is checked, so
// a full disk cancels the save instead of committing a truncated file. A replaced
// file keeps its permission bits, and its owner and group where the process may set
// them. No file of an open database is ever a target.
//
// Failures throw EInOutError with the code-based message; when openError is given,
// a failure to create the file throws that text instead ("%1" is the file name).
class AtomicFile
{
public:
    // Refuses a target that is a file of an open database before anything is created.
    explicit AtomicFile(const QString& fileName, const QString& openError = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Throws EInOutError when fileName names a file of an open database (its file,
    // journal or write-ahead log, through any link or spelling), so that a command
    // writing several files can refuse before it creates the first one.
    static void refuseDatabaseFile(const QString& fileName);

    void write(const char* data, qsizetype size);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Makes the file complete on disk without replacing the target yet. Files written
    // together are each finished before the first of them is committed, so that a
    // failure of any of them leaves all their targets as they were.
    void finish();
    // Finishes the file and renames it over the target.
    void commit();

private:
    void keepOwnerAndMode();
    [[noreturn]] void fail(int systemError);

    QString m_fileName;
    QSaveFile m_file;
    bool m_finished = false;
    bool m_done = false;
};
