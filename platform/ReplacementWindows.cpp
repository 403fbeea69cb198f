#include "platform/Replacement.h"

#ifdef Q_OS_WIN

#include <QDir>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace
{

// Attempts at a free name for a new file before giving up.
constexpr int kNameAttempts = 100;

// The longest name a folder entry takes, in UTF-16 units.
constexpr qsizetype kNameMax = 255;

std::wstring wide(const QByteArray& path)
{
    return QString::fromUtf8(path).toStdWString();
}

// The C library's errno for a system error, as the program reports file errors.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: // the old file is open in another program
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

int lastError()
{
    return errnoOf(GetLastError());
}

// A free-looking name beside target: its name and a dot and six random letters,
// cut short when the target's name fills its folder entry.
QByteArray nameBeside(const QByteArray& target)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QString path = QString::fromUtf8(target);
    const qsizetype slash = path.lastIndexOf(u'\\');
    QString name = path.left(slash + 1) + path.mid(slash + 1).left(kNameMax - 7) + u'.';
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)]);
    return name.toUtf8();
}

bool exists(const QByteArray& path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A name beside target that nothing has yet; empty when none is found.
QByteArray freeNameBeside(const QByteArray& target)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        QByteArray name = nameBeside(target);
        if (!exists(name))
            return name;
    }
    return {};
}

bool move(const QByteArray& from, const QByteArray& to, DWORD flags)
{
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags | MOVEFILE_WRITE_THROUGH);
}

// What putting a file in place did, so that it can be undone.
enum class Step {
    Exchanged, // the old file is kept under the backup name
    Created, // there was no old file
    Replaced, // the old file is gone (a file system that cannot keep it)
};

// Puts one file in its target's place. ReplaceFileW swaps the new file in and keeps
// the old one under the backup name, with its attributes and access list passed on
// to the new file; a file system that cannot do it gets a plain replacing rename.
int putInPlace(const Replacement& r, const QByteArray& backup, Step& step)
{
    if (!exists(r.target)) {
        step = Step::Created;
        // Without MOVEFILE_REPLACE_EXISTING: a file made there meanwhile is kept.
        return move(r.file, r.target, 0) ? 0 : lastError();
    }
    step = Step::Exchanged;
    if (ReplaceFileW(wide(r.target).c_str(), wide(r.file).c_str(), wide(backup).c_str(),
            REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return 0;
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        // The old file went to the backup name and the new one could not follow.
        move(backup, r.target, MOVEFILE_REPLACE_EXISTING);
        return errnoOf(error);
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        step = Step::Replaced;
        return move(r.file, r.target, MOVEFILE_REPLACE_EXISTING) ? 0 : lastError();
    default:
        return errnoOf(error);
    }
}

void undo(const Replacement& r, const QByteArray& backup, Step step)
{
    switch (step) {
    case Step::Exchanged:
        move(backup, r.target, MOVEFILE_REPLACE_EXISTING);
        break;
    case Step::Created:
        move(r.target, r.file, 0);
        break;
    case Step::Replaced:
        break;
    }
}

} // namespace

QByteArray replacementPath(const QString& path)
{
    return QDir::toNativeSeparators(path).toUtf8();
}

int createNewFile(const QString& target, NewFile& file)
{
    const QByteArray path = replacementPath(target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = nameBeside(path);
        // Shared for deletion, so that it can be renamed while it is open.
        const HANDLE handle = CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return errno = lastError();
        }
        file.fd = _open_osfhandle(intptr_t(handle), _O_WRONLY | _O_BINARY);
        if (file.fd < 0) {
            const int error = errno;
            CloseHandle(handle);
            DeleteFileW(wide(name).c_str());
            return error;
        }
        file.name = name;
        return 0;
    }
    return errno = EEXIST;
}

QString newFilePath(const NewFile& file)
{
    return QString::fromUtf8(file.name);
}

int nameNewFile(const QString&, NewFile&)
{
    return 0; // named from the start
}

int syncNewFile(const NewFile& file)
{
    return FlushFileBuffers(HANDLE(_get_osfhandle(file.fd))) ? 0 : lastError();
}

// Windows writes a file's data out on its own; only FlushFileBuffers waits for it.
void startWriteBack(const NewFile&, qint64, qint64)
{
}

int closeNewFile(NewFile& file)
{
    const int fd = std::exchange(file.fd, -1);
    return fd < 0 || _close(fd) == 0 ? 0 : errno;
}

void discardNewFile(NewFile& file)
{
    if (file.fd >= 0)
        _close(file.fd);
    if (!file.name.isEmpty())
        DeleteFileW(wide(file.name).c_str());
    file = {};
}

int replaceTogether(std::span<const Replacement> files)
{
    std::vector<Step> steps(files.size());
    std::vector<QByteArray> backups(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        backups[i] = freeNameBeside(files[i].target);
        const int error = backups[i].isEmpty() ? EEXIST : putInPlace(files[i], backups[i], steps[i]);
        if (error) {
            while (i-- > 0)
                undo(files[i], backups[i], steps[i]);
            return error;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (steps[i] == Step::Exchanged)
            DeleteFileW(wide(backups[i]).c_str());
    }
    return 0;
}

#endif
