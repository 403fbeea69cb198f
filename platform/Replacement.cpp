#include "platform/Replacement.h"
#include "platform/ReplacementRecord.h"

#ifndef Q_OS_WIN

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/syscall.h>
#endif

namespace
{

// Attempts at a free name for a new file before giving up.
constexpr int kNameAttempts = 100;

// The longest name a folder entry takes on the usual file systems, in bytes.
constexpr qsizetype kNameMax = 255;

constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kRandomLetters = 6;

// The target's path and a dot: a name that its folder just takes would leave no room
// for the 7 bytes that follow, and is cut short here.
QByteArray stemBeside(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return path.left(slash + 1) + path.mid(slash + 1).left(kNameMax - 1 - kRandomLetters) + '.';
}

QByteArray nameBeside(const QString& target)
{
    QByteArray name = stemBeside(QFile::encodeName(target));
    for (int i = 0; i < kRandomLetters; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
    return name;
}

#ifdef Q_OS_LINUX
// renameat2's flags, for a C library that does not define them.
constexpr unsigned kNoReplace = 1u << 0;
constexpr unsigned kExchange = 1u << 1;

int renameWith(const QByteArray& from, const QByteArray& to, unsigned flags)
{
    return int(::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags));
}
#endif

// What putting a file in place did, so that it can be undone.
enum class Step {
    Exchanged, // the file's name holds the old file
    Created, // there was no old file
    Replaced, // the old file is gone (a file system that cannot exchange)
};

// Puts one file in its target's place.
int putInPlace(const Replacement& r, Step& step)
{
#ifdef Q_OS_LINUX
    if (renameWith(r.file, r.target, kExchange) == 0) {
        step = Step::Exchanged;
        return 0;
    }
    if (errno == ENOENT) {
        // No old file (or no new one, which the plain rename reports as well).
        step = Step::Created;
        if (renameWith(r.file, r.target, kNoReplace) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
    } else if (errno == EINVAL || errno == ENOSYS) {
        step = Step::Replaced;
    } else {
        return errno;
    }
#else
    step = Step::Replaced;
#endif
    return std::rename(r.file.constData(), r.target.constData()) == 0 ? 0 : errno;
}

void undo(const Replacement& r, Step step)
{
    switch (step) {
    case Step::Exchanged:
#ifdef Q_OS_LINUX
        renameWith(r.file, r.target, kExchange);
#endif
        break;
    case Step::Created:
        std::rename(r.target.constData(), r.file.constData());
        break;
    case Step::Replaced:
        break;
    }
}

} // namespace

int createNewFile(const QString& target, NewFile& file)
{
#ifdef O_TMPFILE
    // An unnamed file gets its name through /proc (nameNewFile): without /proc, as in
    // some containers, the new file is named from the start.
    static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
    if (procMounted) {
        file.fd
            = ::open(QFile::encodeName(QFileInfo(target).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (file.fd >= 0)
            return 0;
        // A file system or a system without unnamed files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
#endif
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = nameBeside(target);
        file.fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (file.fd >= 0) {
            file.name = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

QByteArray replacementPath(const QString& path)
{
    return QFile::encodeName(path);
}

int syncNewFile(const NewFile& file)
{
    return ::fsync(file.fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

void startWriteBack(const NewFile& file, qint64 from, qint64 size)
{
#ifdef __linux__
    ::sync_file_range(file.fd, from, size, SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(file);
    Q_UNUSED(from);
    Q_UNUSED(size);
#endif
}

int nameNewFile(const QString& target, NewFile& file)
{
    if (!file.name.isEmpty())
        return 0;
    const QByteArray descriptor = "/proc/self/fd/" + QByteArray::number(file.fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = nameBeside(target);
        if (::linkat(AT_FDCWD, descriptor.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            file.name = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

QString newFilePath(const NewFile& file)
{
    if (file.name.isEmpty())
        return QStringLiteral("/proc/self/fd/%1").arg(file.fd);
    return QFile::decodeName(file.name);
}

int closeNewFile(NewFile& file)
{
    const int fd = std::exchange(file.fd, -1);
    return fd < 0 || ::close(fd) == 0 ? 0 : errno;
}

void discardNewFile(NewFile& file)
{
    if (!file.name.isEmpty())
        ::unlink(file.name.constData());
    if (file.fd >= 0)
        ::close(file.fd);
    file = {};
}

bool isNameBeside(const QByteArray& target, const QByteArray& name)
{
    const QByteArray stem = stemBeside(target);
    if (name.size() != stem.size() + kRandomLetters || !name.startsWith(stem))
        return false;
    for (const char c : name.mid(stem.size()))
        if (!std::strchr(kLetters, c) || c == '\0')
            return false;
    return true;
}

int exchangeFiles(const QByteArray& a, const QByteArray& b)
{
#ifdef Q_OS_LINUX
    return renameWith(a, b, kExchange) == 0 ? 0 : errno;
#else
    Q_UNUSED(a);
    Q_UNUSED(b);
    return ENOSYS;
#endif
}

void syncFolder(const QByteArray& path)
{
    const int fd = ::open(path.isEmpty() ? "/" : path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A single file is renamed over its target: nothing of the old one stays, whenever
// the program ends. Several are exchanged with their targets, so that a failure can
// put the old ones back; ReplacementRecord covers an end between two exchanges.
int replaceTogether(std::span<const Replacement> files)
{
    if (files.size() == 1) {
        if (std::rename(files[0].file.constData(), files[0].target.constData()) != 0)
            return errno;
        replacementStep();
        return 0;
    }
    std::vector<Step> steps(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (const int error = putInPlace(files[i], steps[i])) {
            while (i-- > 0)
                undo(files[i], steps[i]);
            return error;
        }
        replacementStep();
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (steps[i] == Step::Exchanged) {
            ::unlink(files[i].file.constData());
            replacementStep();
        }
    }
    return 0;
}

#endif
