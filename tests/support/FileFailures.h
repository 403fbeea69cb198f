#pragma once

#include <QIODevice>
#include <QString>
#include <QTemporaryDir>

// A device that takes the first `capacity` bytes written to it, then refuses every
// write, as a disk that fills up does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity);
    const QByteArray& written() const { return m_written; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    qint64 m_capacity;
    QByteArray m_written;
};

// A folder on a tmpfs of `bytes` bytes, mounted in a mount namespace private to the
// calling thread, so that nothing outside the test sees it. Needs root (or the
// capability to mount); available() is false otherwise, with the reason in error().
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return m_mounted; }
    const QString& error() const { return m_error; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // Mounts the disk again for reading only, as a write-protected medium; false
    // when the system refuses.
    bool makeReadOnly();
    // The names of the files in the folder.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_error;
};

// An existing file made a mount point of itself (bound onto its own name) in a mount
// namespace private to the calling thread: it reads as before, but no rename may
// replace it (EBUSY), as a file some other mount sits on. Needs root, as SmallDisk.
// On Windows the file is held open, as another program would hold it, without leave to
// delete it: no rename may replace it either (a sharing violation).
class MountPoint
{
public:
    explicit MountPoint(const QString& file);
    ~MountPoint();
    MountPoint(const MountPoint&) = delete;
    MountPoint& operator=(const MountPoint&) = delete;

    bool available() const { return m_mounted; }
    const QString& error() const { return m_error; }

private:
    QString m_file;
    bool m_mounted = false;
    QString m_error;
    void* m_handle = nullptr; // Windows: the handle that holds the file
};
