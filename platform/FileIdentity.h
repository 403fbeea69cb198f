#pragma once

#include <QString>

// Which file a path names, so that paths are compared as files, not as spellings:
// hard links, symbolic links, "a/../b" and a relative path all name the file they
// reach. An existing file is known by its device and file number. A file that does
// not exist yet is known by where a write would create it: the end of its chain of
// symbolic links, in its folder's canonical path.
class FileIdentity
{
public:
    explicit FileIdentity(const QString& path);

    bool exists() const { return m_exists; }

    // Two existing files are the same when their device and file number are. Two
    // missing files are the same when they would be created under the same name,
    // letters of either case being taken as the same: on a file system that ignores
    // case they would be one file. An existing file and a missing one are two files
    // (on a file system that ignores case, the other spelling would exist too).
    bool operator==(const FileIdentity& other) const;

private:
    bool m_exists = false;
    quint64 m_device = 0;
    quint64 m_file = 0;
    QString m_path; // where a missing file would be created
};

[[nodiscard]] inline bool sameFile(const QString& a, const QString& b)
{
    return FileIdentity(a) == FileIdentity(b);
}
