#include "platform/FileIdentity.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace
{

// Symbolic links are followed this many times at most, as the system does.
constexpr int kMaxLinks = 40;

// The path a write to path creates when nothing exists there: the end of the chain
// of symbolic links (a write follows a dangling link), in its folder's canonical path.
QString creationPath(const QString& path)
{
    QFileInfo info(path);
    for (int hop = 0; hop < kMaxLinks && info.isSymbolicLink(); ++hop)
        info.setFile(info.symLinkTarget());
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + u'/' + info.fileName();
}

} // namespace

FileIdentity::FileIdentity(const QString& path)
{
#ifdef Q_OS_WIN
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(handle, &info)) {
            m_exists = true;
            m_device = info.dwVolumeSerialNumber;
            m_file = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        }
        CloseHandle(handle);
    }
#else
    struct stat info;
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0) {
        m_exists = true;
        m_device = quint64(info.st_dev);
        m_file = quint64(info.st_ino);
    }
#endif
    if (!m_exists)
        m_path = creationPath(path);
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    if (m_exists != other.m_exists)
        return false;
    if (m_exists)
        return m_device == other.m_device && m_file == other.m_file;
    return m_path.compare(other.m_path, Qt::CaseInsensitive) == 0;
}
