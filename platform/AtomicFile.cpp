#include "AtomicFile.h"

#include "database/Databases.h"
#include "Exceptions.h"
#include "FileIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

QString inOutErrorMessage(int code)
{
    switch (code) {
    case 2:
        return QStringLiteral("Fichier introuvable");
    case 3:
        return QStringLiteral("Nom de fichier incorrect");
    case 4:
        return QStringLiteral("Trop de fichiers ouverts");
    case 5:
        return QStringLiteral("Accès au fichier refusé");
    default:
        return QStringLiteral("Erreur E/S %1").arg(code);
    }
}

int fileErrorCode(int e)
{
#ifdef Q_OS_WIN
    // The C runtime's errno values on Windows.
    switch (e) {
    case ENOENT:
        return 3;
    case EMFILE:
        return 4;
    case EACCES:
        return 5;
    default:
        return e;
    }
#else
    switch (e) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return 5;
    default:
        return e;
    }
#endif
}

AtomicFile::AtomicFile(const QString& fileName, const QString& openError)
    : m_fileName(fileName)
    , m_file(fileName)
{
    refuseDatabaseFile(fileName);
    // A directory can never be replaced by a file.
    if (QFileInfo(fileName).isDir())
        fail(EISDIR);
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int e = errno ? errno : ENOENT;
        if (!openError.isEmpty())
            throw EInOutError(openError.arg(QDir::toNativeSeparators(fileName)), fileErrorCode(e));
        fail(e);
    }
    keepOwnerAndMode();
}

AtomicFile::~AtomicFile()
{
    if (!m_done)
        m_file.cancelWriting();
}

void AtomicFile::refuseDatabaseFile(const QString& fileName)
{
    const QStringList databaseFiles = Databases::openFiles();
    if (databaseFiles.isEmpty())
        return;
    const FileIdentity target(fileName);
    for (const QString& file : databaseFiles) {
        if (target == FileIdentity(file))
            throw EInOutError(QStringLiteral("Ne peut écrire dans %1 : c'est un fichier de la base de données ouverte")
                                  .arg(QDir::toNativeSeparators(fileName)),
                5);
    }
}

// The temporary file takes the owner, group and permission bits of the file it will
// replace (through a symbolic link, of the file the link reaches). Only a superuser
// may give a file away: an ordinary user's replacement stays theirs, and takes the
// group where the user belongs to it. The owner is set first, since a change of
// owner clears the set-user-ID and set-group-ID bits.
void AtomicFile::keepOwnerAndMode()
{
#ifndef Q_OS_WIN
    struct stat target;
    if (::stat(QFile::encodeName(m_fileName).constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return; // a new file, or a device that QSaveFile writes in place
    const int fd = m_file.handle();
    if (::fchown(fd, target.st_uid, target.st_gid) != 0) {
        if (errno != EPERM)
            fail(errno);
        if (::fchown(fd, uid_t(-1), target.st_gid) != 0 && errno != EPERM)
            fail(errno);
    }
    // A file system without Unix permissions refuses any change: its files get its own.
    if (::fchmod(fd, target.st_mode & 07777) != 0 && errno != EPERM)
        fail(errno);
#endif
}

void AtomicFile::write(const char* data, qsizetype size)
{
    if (size == 0)
        return;
    errno = 0;
    if (m_file.write(data, size) != size)
        fail(errno ? errno : ENOSPC);
}

void AtomicFile::finish()
{
    if (m_finished)
        return;
#ifndef Q_OS_WIN
    // A file system may report a full disk only when the data reaches it. On Windows
    // the disk is full at the write, and QSaveFile flushes before its rename. A device
    // written in place cannot be synchronised (EINVAL), nor needs to be.
    if (::fsync(m_file.handle()) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
#endif
    m_finished = true;
}

void AtomicFile::commit()
{
    finish();
    errno = 0;
    const bool committed = m_file.commit();
    m_done = true;
    if (!committed)
        fail(errno ? errno : EIO);
}

void AtomicFile::fail(int systemError)
{
    if (!m_done && m_file.isOpen())
        m_file.cancelWriting();
    m_done = true;
    const int code = fileErrorCode(systemError);
    throw EInOutError(inOutErrorMessage(code), code);
}
