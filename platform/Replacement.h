#pragma once

#include <QByteArray>
#include <QString>
#include <span>

// How a new file takes the place of the file it replaces. Functions return 0 or the
// system error that stopped them, as an errno value.

// A path as the functions below take it: the system's encoding of the name on Unix,
// the name with backslashes in UTF-8 on Windows.
[[nodiscard]] QByteArray replacementPath(const QString& path);

// A new file, written beside its target before it replaces it. While it has no name
// (where the file system allows), nothing of it shows in the folder, and it vanishes
// with its descriptor whatever becomes of the folder.
struct NewFile {
    int fd = -1;
    QByteArray name; // empty while the file has no name
};

// Creates an empty new file in the folder of target, readable and writable as the
// user's file-creation mask allows.
[[nodiscard]] int createNewFile(const QString& target, NewFile& file);
// Gives a new file that has none a name of its own beside target (on Windows, every
// new file has one from the start).
[[nodiscard]] int nameNewFile(const QString& target, NewFile& file);
// The path by which a writer that opens files by name (a library) reaches the new
// file: its descriptor's path while it has no name (Linux), its name otherwise.
[[nodiscard]] QString newFilePath(const NewFile& file);
// Makes the new file's data reach the disk, so that a full disk shows before the file
// replaces anything. A file system that cannot synchronise is no failure.
[[nodiscard]] int syncNewFile(const NewFile& file);
// Starts writing the new file's bytes in [from, from + size) to the disk without
// waiting for them, so that the sync before the replacement finds little left to do
// and the disk works while the program writes on. A hint only: it fails nothing.
void startWriteBack(const NewFile& file, qint64 from, qint64 size);
// Closes a named new file, which keeps its name until it replaces its target or is
// discarded.
[[nodiscard]] int closeNewFile(NewFile& file);
// Closes the new file and removes it, if it has a name.
void discardNewFile(NewFile& file);

// A named new file and the target it replaces.
struct Replacement {
    QByteArray file;
    QByteArray target;
};

// Puts each file in the place of its target, all of them or none: each new file is
// exchanged with its target (Linux: renameat2's exchange; Windows: ReplaceFileW, which
// keeps the old file under a backup name), the exchanges are undone when one fails,
// and the old files go only once every new one is in place. A target that does not
// exist yet is created by the rename. On Unix a single file is renamed over its
// target, which leaves nothing of the old file whenever the program ends. Where the
// file system cannot exchange files, each file is renamed over its target in turn.
// On failure, the new files that are not in place keep their names for the caller to
// discard.
[[nodiscard]] int replaceTogether(std::span<const Replacement> files);

#ifndef Q_OS_WIN
// Whether name is one that createNewFile or nameNewFile gives beside target.
[[nodiscard]] bool isNameBeside(const QByteArray& target, const QByteArray& name);
// Exchanges two files' names (Linux; elsewhere ENOSYS).
[[nodiscard]] int exchangeFiles(const QByteArray& a, const QByteArray& b);
// Makes the folder's entries (names made, renamed or removed) reach the disk.
void syncFolder(const QByteArray& path);
#endif
