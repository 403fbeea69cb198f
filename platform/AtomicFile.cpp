#include "platform/AtomicFile.h"

#include "platform/Exceptions.h"
#include "platform/FileIdentity.h"
#include "platform/ReplacementRecord.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <vector>

#ifndef Q_OS_WIN
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
namespace
{

// A reader that closes its end of a pipe would end the program with SIGPIPE at the
// next write: the signal is held back for this thread while it writes, and one that
// the write raised is taken away, so that the write fails with EPIPE instead.
class PipeSignalHold
{
public:
    PipeSignalHold()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
        m_wasPending = pending();
    }
    ~PipeSignalHold()
    {
        if (!m_wasPending && pending()) {
            const timespec now {};
            sigtimedwait(&m_pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    PipeSignalHold(const PipeSignalHold&) = delete;
    PipeSignalHold& operator=(const PipeSignalHold&) = delete;

private:
    bool pending() const
    {
        sigset_t set;
        return sigpending(&set) == 0 && sigismember(&set, SIGPIPE) == 1;
    }

    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
};

} // namespace
#endif

AtomicFile::AtomicFile(const QString& fileName, const QString& openError)
    : m_fileName((refuseDatabaseFile(fileName), fileName))
    , m_target(fileName)
{
    if (m_target.kind() == FileTarget::Kind::InPlace) {
        openInPlace();
    } else {
        recoverReplacement();
        open(openError);
    }
}

// A replacement of this target with others that the program did not live to end is
// finished or undone before anything else (ReplacementRecord).
void AtomicFile::recoverReplacement()
{
    const QByteArray target = replacementPath(m_target.path());
    const int error = ReplacementRecord::recover(target);
    if (error == 0)
        return;
    m_done = true;
    const QString name = QDir::toNativeSeparators(m_fileName);
    if (error == EEXIST)
        throw EInOutError(
            QStringLiteral("Ne peut écrire dans %1 : un fichier étranger porte le nom %2")
                .arg(name, QDir::toNativeSeparators(QFile::decodeName(ReplacementRecord::recordPath(target)))),
            5);
    if (error == EBUSY)
        throw EInOutError(
            QStringLiteral("Ne peut écrire dans %1 : un autre programme remplace ce fichier en ce moment").arg(name),
            fileErrorCode(EBUSY));
    fail(error);
}

AtomicFile::~AtomicFile()
{
    if (!m_done)
        cancel();
}

void AtomicFile::open(const QString& openError)
{
    errno = 0;
    const bool opened = createNewFile(m_target.path(), m_new) == 0
        && m_file.open(m_new.fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    if (!opened) {
        const int e = errno ? errno : ENOENT;
        cancel();
        m_done = true;
        if (!openError.isEmpty())
            throw EInOutError(openError.arg(QDir::toNativeSeparators(m_fileName)), fileErrorCode(e));
        fail(e);
    }
    keepOwnerAndMode();
}

// A named pipe or a device. A pipe that no program reads would hold the window until
// one does: it is opened without waiting, which fails at once (ENXIO). The descriptor
// stays non-blocking: a reader that stops taking bytes is waited for in slices
// (waitForReader), so that the window goes on and the user can stop the write.
void AtomicFile::openInPlace()
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(m_target.path()).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_done = true;
        if (errno == ENXIO)
            throw EInOutError(QStringLiteral("Ne peut écrire dans %1 : aucun programme ne lit ce tube")
                                  .arg(QDir::toNativeSeparators(m_fileName)),
                fileErrorCode(ENXIO));
        fail(errno);
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        const int e = errno;
        ::close(fd);
        fail(e);
    }
#endif
}

void AtomicFile::writeInPlace(const char* data, qsizetype size)
{
#ifndef Q_OS_WIN
    const PipeSignalHold hold;
    while (size > 0) {
        const ssize_t written = ::write(m_file.handle(), data, size_t(size));
        if (written > 0) {
            data += written;
            size -= written;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            waitForReader();
        } else if (written == 0 || errno != EINTR) {
            fail(written < 0 ? errno : ENOSPC);
        }
    }
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

// Until the pipe or the device takes bytes again (or reports its failure, which the
// next write tells), asking the stall wait between slices.
void AtomicFile::waitForReader()
{
#ifndef Q_OS_WIN
    pollfd ready { m_file.handle(), POLLOUT, 0 };
    for (;;) {
        const int count = ::poll(&ready, 1, m_stallWait ? kStallSliceMs : -1);
        if (count > 0)
            return;
        if (count < 0 && errno != EINTR)
            fail(errno);
        if (count == 0 && !m_stallWait()) {
            struct stat info;
            const bool pipe = ::fstat(m_file.handle(), &info) == 0 && S_ISFIFO(info.st_mode);
            const QString reason = pipe ? QStringLiteral("le programme qui lit ce tube ne prenait plus les données")
                                        : QStringLiteral("le périphérique ne prenait plus les données");
            m_done = true;
            cancel();
            throw EInOutError(QStringLiteral("Écriture dans %1 interrompue : %2, il n'en a reçu qu'une partie")
                                  .arg(QDir::toNativeSeparators(m_fileName), reason),
                fileErrorCode(ECANCELED));
        }
    }
#endif
}

namespace
{
AtomicFile::ProtectedFiles& protectedFiles()
{
    static AtomicFile::ProtectedFiles files;
    return files;
}
} // namespace

void AtomicFile::protectFiles(ProtectedFiles files)
{
    protectedFiles() = std::move(files);
}

void AtomicFile::refuseDatabaseFile(const QString& fileName)
{
    const QStringList databaseFiles = protectedFiles() ? protectedFiles()() : QStringList();
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
    if (m_target.kind() != FileTarget::Kind::Regular
        || ::stat(QFile::encodeName(m_target.path()).constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return; // a new file
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

QString AtomicFile::writerPath() const
{
    return m_target.kind() == FileTarget::Kind::InPlace ? QString() : newFilePath(m_new);
}

void AtomicFile::write(const char* data, qsizetype size)
{
    if (size == 0)
        return;
    if (m_target.kind() == FileTarget::Kind::InPlace) {
        writeInPlace(data, size);
        return;
    }
    errno = 0;
    if (m_file.write(data, size) != size)
        fail(errno ? errno : ENOSPC);
    // A large export waited at its end for the disk to take a quarter of a gigabyte:
    // the disk now writes as the file grows.
    m_written += size;
    if (m_written - m_writtenBack >= kWriteBackStep) {
        startWriteBack(m_new, m_writtenBack, m_written - m_writtenBack);
        m_writtenBack = m_written;
    }
}

void AtomicFile::finish()
{
    if (m_finished)
        return;
    // A file system may report a full disk only when the data reaches it. A pipe or a
    // device written in place cannot be synchronised, nor needs to be.
    if (m_target.kind() != FileTarget::Kind::InPlace) {
        if (const int error = syncNewFile(m_new))
            fail(error);
    }
    m_finished = true;
}

void AtomicFile::commit()
{
    AtomicFile* const self[] = { this };
    commitTogether(self);
}

void AtomicFile::commitTogether(std::span<AtomicFile* const> files)
{
    for (AtomicFile* file : files)
        file->finish();
    std::vector<AtomicFile*> replacing;
    for (AtomicFile* file : files) {
        if (file->m_target.kind() != FileTarget::Kind::InPlace)
            replacing.push_back(file);
    }
    // The files are recorded before the first is named: whenever the program ends,
    // the next write of the first target finds them all old or all new, and no
    // temporary file beside them.
    ReplacementRecord record;
    int error = 0;
    if (!replacing.empty()) {
        std::vector<ReplacementRecord::File> recorded;
        for (const AtomicFile* file : replacing)
            recorded.push_back({ file->m_new.fd, replacementPath(file->m_target.path()) });
        error = record.begin(recorded);
        // A record that another program left since this file was opened.
        if (error == EEXIST && ReplacementRecord::recover(recorded.front().target) == 0)
            error = record.begin(recorded);
    }
    std::vector<Replacement> replacements;
    for (AtomicFile* file : replacing) {
        if (error)
            break;
        error = nameNewFile(file->m_target.path(), file->m_new);
        // Complete and named, the file is closed: Windows moves no file that is open
        // for writing.
        if (!error) {
            file->m_file.close();
            error = closeNewFile(file->m_new);
        }
        if (error)
            break;
        replacements.push_back({ file->m_new.name, replacementPath(file->m_target.path()) });
        replacementStep();
    }
    if (!error)
        error = replaceTogether(replacements);
    for (AtomicFile* file : files) {
        // In place, the new file's name is the target's now.
        if (!error)
            file->m_new.name.clear();
        file->cancel();
        file->m_done = true;
    }
    record.end();
    if (error)
        throwError(error);
}

void AtomicFile::cancel()
{
    m_file.close();
    discardNewFile(m_new);
}

void AtomicFile::fail(int systemError)
{
    if (!m_done)
        cancel();
    m_done = true;
    throwError(systemError);
}

void AtomicFile::throwError(int systemError)
{
    const int code = fileErrorCode(systemError);
    throw EInOutError(inOutErrorMessage(code), code);
}
