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
// which replaces the target only at commit(). Every write is checked, so a full disk
// cancels the save instead of committing a truncated file. Until commit() succeeds
// the target is untouched; destroying an uncommitted file discards the temporary.
//
// Failures throw EInOutError with the code-based message; when openError is given,
// a failure to create the file throws that text instead ("%1" is the file name).
class AtomicFile
{
public:
    explicit AtomicFile(const QString& fileName, const QString& openError = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const char* data, qsizetype size);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Bytes written so far.
    qint64 size() const { return m_written + m_buffer.size(); }
    // Flushes and renames the temporary file over the target.
    void commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();

    const QString& fileName() const { return m_fileName; }

private:
    void flushBuffer();
    [[noreturn]] void fail(int systemError);

    QString m_fileName;
    QSaveFile m_file;
    QByteArray m_buffer;
    qint64 m_written = 0;
    bool m_done = false;
};
