#include "FileTarget.h"

#include "AtomicFile.h"
#include "Exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
namespace
{

// Symbolic links are followed this many times at most, as the system does.
constexpr int kMaxLinks = 40;

// Whether the system's protected_symlinks rule lets the user follow link, whose
// owner is linkOwner: anywhere but in a sticky folder writable by others, and there
// only a link of the user's own or of the folder's owner.
bool mayFollow(const QString& link, uid_t linkOwner)
{
    struct stat folder;
    if (::stat(QFile::encodeName(QFileInfo(link).path()).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    return !shared || linkOwner == ::geteuid() || linkOwner == folder.st_uid;
}

QString linkTarget(const QString& link)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(QFile::encodeName(link).constData(), target.data(), size_t(target.size()));
    if (size < 0 || size >= target.size())
        return {};
    const QString next = QFile::decodeName(target.left(size));
    return QDir::isAbsolutePath(next) ? next : QFileInfo(link).path() + u'/' + next;
}

} // namespace
#endif

FileTarget::FileTarget(const QString& fileName)
    : m_fileName(fileName)
    , m_path(fileName)
{
#ifdef Q_OS_WIN
    const QFileInfo info(fileName);
    if (info.isDir())
        refuse(QStringLiteral("c'est un dossier"));
    m_kind = info.exists() ? Kind::Regular : Kind::Missing;
#else
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info;
        // Nothing there, or a path the system refuses: the write reports it.
        if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0)
            return;
        if (S_ISLNK(info.st_mode)) {
            if (!mayFollow(m_path, info.st_uid))
                refuse(QStringLiteral("c'est un lien symbolique d'un autre utilisateur dans un dossier partagé"));
            const QString next = linkTarget(m_path);
            if (next.isEmpty())
                return;
            m_path = next;
            continue;
        }
        if (S_ISDIR(info.st_mode))
            refuse(QStringLiteral("c'est un dossier"));
        if (S_ISSOCK(info.st_mode))
            refuse(QStringLiteral("c'est une socket, pas un fichier"));
        m_kind = S_ISREG(info.st_mode) ? Kind::Regular : Kind::InPlace;
        return;
    }
    const int code = fileErrorCode(ELOOP);
    throw EInOutError(inOutErrorMessage(code), code);
#endif
}

void FileTarget::refuse(const QString& reason) const
{
    throw EInOutError(
        QStringLiteral("Ne peut écrire dans %1 : %2").arg(QDir::toNativeSeparators(m_fileName), reason), 5);
}
