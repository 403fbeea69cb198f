#pragma once

#include <QString>

// Where a write to a file name goes, found before anything is written: the path with
// every symbolic link on the way resolved, and what is there.
//
// Links (the file's own and the folders' above it) are followed as the system's protected_symlinks rule would follow
// them: in a folder that is sticky and writable by others (such as /tmp), only a link that belongs to the user or to
// the folder's owner. Another user's link there could send the write to any file the user may write, so the write is
// refused. A folder or a socket is refused too; a named pipe or a device is written where it is.
//
// Refusals throw EInOutError naming the file.
class FileTarget
{
public:
    enum class Kind {
        Missing, // nothing there yet: the write creates path()
        Regular, // a regular file, replaced as a whole
        InPlace, // a named pipe or a device: opened and written, never replaced
    };

    explicit FileTarget(const QString& fileName);

    // The file the write reaches, without links (on Windows, the name as given).
    const QString& path() const { return m_path; }
    Kind kind() const { return m_kind; }

private:
    [[noreturn]] void refuse(const QString& reason) const;

    QString m_fileName;
    QString m_path;
    Kind m_kind = Kind::Missing;
};
