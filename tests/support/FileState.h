#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// What a test compares to prove that a failed or refused write changed nothing.

// Each entry of a folder (hidden ones included): a file's bytes, a symbolic link's
// target as "-> target", a folder as "<folder>", a pipe, a device or a socket as its
// kind ("<pipe>"), never read.
QMap<QString, QByteArray> folderSnapshot(const QString& folder);

// A file's owner, group and permission bits (with set-ID and sticky bits).
struct FileOwner {
    uint uid = 0;
    uint gid = 0;
    uint mode = 0;
    bool operator==(const FileOwner&) const = default;
};
char* toString(const FileOwner& owner);

// The owner of the file path reaches (through symbolic links); uid and gid -1 when
// there is none.
FileOwner ownerOf(const QString& path);
// Gives the file to owner; false when the system refuses.
bool setOwner(const QString& path, const FileOwner& owner);
// Makes name a second name of the existing file (a hard link); false when the file
// system refuses.
bool hardLink(const QString& existing, const QString& name);
// True when this process may give files to other users (root on Unix).
bool mayGiveFilesAway();
