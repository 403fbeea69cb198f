#include "FileFailures.h"

#include <QDir>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

FailingDevice::FailingDevice(qint64 capacity)
    : m_capacity(capacity)
{
    open(QIODevice::WriteOnly);
}

qint64 FailingDevice::writeData(const char* data, qint64 size)
{
    const qint64 room = m_capacity - m_written.size();
    if (room <= 0) {
        setErrorString(QStringLiteral("device full"));
        return -1;
    }
    const qint64 taken = qMin(room, size);
    m_written.append(data, taken);
    return taken;
}

#ifdef Q_OS_LINUX
namespace
{

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Moves only this thread to a new mount namespace, its mounts made private first so
// that what the test mounts does not show up in the namespace it was started in.
// Returns why it could not, or nothing.
QString enterPrivateMounts()
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("private mount namespace: %1").arg(systemError());
    return {};
}

} // namespace
#endif

SmallDisk::SmallDisk(qint64 bytes)
{
#ifdef Q_OS_LINUX
    m_error = enterPrivateMounts();
    if (!m_error.isEmpty())
        return;
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_error = QStringLiteral("tmpfs: %1").arg(systemError());
        return;
    }
    m_mounted = true;
#else
    Q_UNUSED(bytes);
    m_error = QStringLiteral("tmpfs needs Linux");
#endif
}

SmallDisk::~SmallDisk()
{
#ifdef Q_OS_LINUX
    if (m_mounted)
        umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
#endif
}

bool SmallDisk::makeReadOnly()
{
#ifdef Q_OS_LINUX
    return m_mounted
        && mount(nullptr, QFile::encodeName(m_dir.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
#else
    return false;
#endif
}

QStringList SmallDisk::entries() const
{
    return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

MountPoint::MountPoint(const QString& file)
    : m_file(file)
{
#ifdef Q_OS_LINUX
    m_error = enterPrivateMounts();
    if (!m_error.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(file);
    if (mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) {
        m_error = QStringLiteral("bind mount: %1").arg(systemError());
        return;
    }
    m_mounted = true;
#elif defined(Q_OS_WIN)
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(file).utf16()),
        GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_error = QStringLiteral("cannot open %1: error %2").arg(file).arg(GetLastError());
        return;
    }
    m_handle = handle;
    m_mounted = true;
#else
    m_error = QStringLiteral("mount points need Linux");
#endif
}

MountPoint::~MountPoint()
{
#ifdef Q_OS_LINUX
    if (m_mounted)
        umount2(QFile::encodeName(m_file).constData(), MNT_DETACH);
#elif defined(Q_OS_WIN)
    if (m_handle)
        CloseHandle(m_handle);
#endif
}
