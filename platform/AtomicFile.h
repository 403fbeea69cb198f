#pragma once

#include "platform/FileTarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <span>

#include "platform/Replacement.h"

#include <QFile>

// A file written atomically: the bytes go to a temporary file in the target's folder,
// which replaces the target only at commit(). Until commit() succeeds the target is
// untouched; destroying an uncommitted file discards the temporary.
//
// Every write goes straight to the temporary file (callers buffer) and is checked, so
// a full disk cancels the save instead of committing a truncated file. A replaced
// file keeps its permission bits, and its owner and group where the process may set
// them. No file of an open database is ever a target.
//
// A target that is not a regular file is never replaced: a named pipe or a device is
// opened and written where it is (a pipe that no program reads is refused rather
// than waited for), a folder or a socket is refused; what a pipe or a device was given
// before a failure stays given. A pipe or a device that takes no more bytes is waited
// for in slices (setStallWait), never with the thread blocked in the system. The
// name's symbolic links are followed as FileTarget says.
//
// Failures throw EInOutError with the code-based message; when openError is given,
// a failure to create the file throws that text instead ("%1" is the file name).
class AtomicFile
{
public:
    // Refuses a target that is a file of an open database before anything is created;
    // finishes or undoes a replacement of this target (and of the files written with
    // it) that the program did not live to end (refused when another user's file, a link or a file
    // that is not a record holds the record's name).
    explicit AtomicFile(const QString& fileName, const QString& openError = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The files that no target may be: those of the open databases (their files,
    // journals and write-ahead logs). The engine installs its list when it opens its
    // first connection; until one is installed, no file is refused.
    using ProtectedFiles = std::function<QStringList()>;
    static void protectFiles(ProtectedFiles files);

    // Throws EInOutError when fileName names a protected file (through any link or
    // spelling), so that a command writing several files can refuse before it creates
    // the first one.
    static void refuseDatabaseFile(const QString& fileName);

    // Asked every kStallSliceMs while a pipe or a device written in place takes no
    // more bytes: true waits on, false stops the write, which then fails with a message
    // saying that the reader got only part of the data. Without one, the write waits
    // for the reader as long as it takes.
    using StallWait = std::function<bool()>;
    void setStallWait(StallWait wait) { m_stallWait = std::move(wait); }
    static constexpr int kStallSliceMs = 50;
    // For a writer that opens files by name (a library): the path by which it reaches
    // the new file, to open it anew, truncated, and write it whole before commit().
    // Empty for a target written in place, which only write() reaches.
    [[nodiscard]] QString writerPath() const;

    void write(const char* data, qsizetype size);
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    // Makes the file complete on disk without replacing the target yet. Files written
    // together are each finished before the first of them is committed, so that a
    // failure of any of them leaves all their targets as they were.
    void finish();
    // Finishes the file and renames it over the target.
    void commit();
    // Finishes the files, then puts them in place together: every target is replaced
    // or, where the system can exchange files, none is. The files are recorded first
    // (ReplacementRecord): a program that ends between two renames leaves them to the
    // next write of the first target, which makes them all old or all new.
    static void commitTogether(std::span<AtomicFile* const> files);

private:
    void open(const QString& openError);
    void openInPlace();
    void recoverReplacement();
    void writeInPlace(const char* data, qsizetype size);
    void waitForReader();
    void keepOwnerAndMode();
    void cancel();
    [[noreturn]] void fail(int systemError);
    [[noreturn]] static void throwError(int systemError);

    QString m_fileName;
    FileTarget m_target;
    NewFile m_new; // unused when the target is written in place
    QFile m_file;
    StallWait m_stallWait;
    bool m_finished = false;
    // How much is written before the disk is asked to write it out.
    static constexpr qint64 kWriteBackStep = qint64(8) << 20;
    qint64 m_written = 0; // bytes written to the new file
    qint64 m_writtenBack = 0; // of which the disk was asked to start writing
    bool m_done = false;
};
