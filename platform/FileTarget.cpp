#include "platform/FileTarget.h"

#include "platform/Exceptions.h"

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

// Whether the system's protected_symlinks rule lets the user follow a link of
// linkOwner's in folder: anywhere but in a sticky folder writable by others, and
// there only a link of the user's own or of the folder's owner.
bool mayFollow(const QByteArray& folder, uid_t linkOwner)
{
    struct stat info;
    if (::stat(folder.isEmpty() ? "/" : folder.constData(), &info) != 0)
        return false;
    const bool shared = (info.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    return !shared || linkOwner == ::geteuid() || linkOwner == info.st_uid;
}

QByteArray linkTarget(const QByteArray& link)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(link.constData(), target.data(), size_t(target.size()));
    if (size >= target.size())
        errno = ENAMETOOLONG;
    return size > 0 && size < target.size() ? target.left(size) : QByteArray();
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
    // The path is walked one name at a time, as the system walks it, so that every
    // link on the way is checked: the file's own and those of the folders above it.
    QByteArrayList rest = QFile::encodeName(QFileInfo(fileName).absoluteFilePath()).split('/');
    QByteArray done; // the part walked, without links; empty for the root
    int links = 0;
    while (!rest.isEmpty()) {
        const QByteArray name = rest.takeFirst();
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            done.truncate(qMax(qsizetype(0), done.lastIndexOf('/')));
            continue;
        }
        const QByteArray next = done + '/' + name;
        struct stat info;
        // Nothing there, or a path the system refuses: the write reports it.
        if (::lstat(next.constData(), &info) != 0) {
            m_path = QFile::decodeName(rest.isEmpty() ? next : next + '/' + rest.join('/'));
            return;
        }
        if (!S_ISLNK(info.st_mode)) {
            done = next;
            continue;
        }
        if (!mayFollow(done, info.st_uid))
            refuse(QStringLiteral("c'est un lien symbolique d'un autre utilisateur dans un dossier partagé"));
        const QByteArray target = linkTarget(next);
        if (++links > kMaxLinks || target.isEmpty()) {
            const int code = fileErrorCode(target.isEmpty() ? errno : ELOOP);
            throw EInOutError(inOutErrorMessage(code), code);
        }
        if (target.startsWith('/'))
            done.clear();
        rest = target.split('/') + rest;
    }
    m_path = QFile::decodeName(done.isEmpty() ? QByteArray("/") : done);
    struct stat info;
    if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        refuse(QStringLiteral("c'est un dossier"));
    if (S_ISSOCK(info.st_mode))
        refuse(QStringLiteral("c'est une socket, pas un fichier"));
    m_kind = S_ISREG(info.st_mode) ? Kind::Regular : Kind::InPlace;
#endif
}

void FileTarget::refuse(const QString& reason) const
{
    throw EInOutError(
        QStringLiteral("Ne peut écrire dans %1 : %2").arg(QDir::toNativeSeparators(m_fileName), reason), 5);
}
