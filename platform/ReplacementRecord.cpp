#include "platform/ReplacementRecord.h"

#include "platform/Replacement.h"

namespace
{
ReplacementStepHook s_stepHook = nullptr;
} // namespace

void setReplacementStepHook(ReplacementStepHook hook)
{
    s_stepHook = hook;
}

void replacementStep()
{
    if (s_stepHook)
        s_stepHook();
}

QByteArray ReplacementRecord::recordPath(const QByteArray& target)
{
    // The longest name a folder entry takes on the usual file systems, in bytes.
    constexpr qsizetype kNameMax = 255;
    static constexpr char kSuffix[] = ".velosql";
    const qsizetype slash = target.lastIndexOf('/');
    return target.left(slash + 1) + target.mid(slash + 1).left(kNameMax - qsizetype(sizeof kSuffix - 1)) + kSuffix;
}

ReplacementRecord::~ReplacementRecord()
{
    end();
}

#ifdef Q_OS_WIN

// Windows replaces each file with ReplaceFileW, which keeps the old one under a
// backup name until all are in place: no record is kept there.
int ReplacementRecord::begin(std::span<const File> files)
{
    Q_UNUSED(files);
    return 0;
}

void ReplacementRecord::end()
{
}

int ReplacementRecord::recover(const QByteArray& target)
{
    Q_UNUSED(target);
    return 0;
}

#else

#include <QFile>
#include <QList>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr char kHeader[] = "VeloSQL remplacement\n";
constexpr char kFooter[] = "fin\n";
// A record is a few lines: anything longer is not one.
constexpr qsizetype kMaxRecord = 1 << 20;
// How long recovery waits for another program's record, in tries 10 ms apart: a
// replacement takes some renames, far less.
constexpr int kLockTries = 300;

// One target of a record.
struct Entry {
    QByteArray target;
    quint64 device = 0;
    quint64 newFile = 0;
    quint64 oldFile = 0; // 0: the target did not exist
};

// Where an entry's files stand now.
struct Found {
    bool targetIsNew = false;
    QByteArray newName; // the new file, still under its temporary name
    QByteArray oldName; // the old file, under the new file's temporary name
};

QByteArray folderOf(const QByteArray& path)
{
    return path.left(qMax(qsizetype(0), path.lastIndexOf('/')));
}

bool isFile(const QByteArray& path, quint64 device, quint64 file, struct stat& info)
{
    return file != 0 && ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && quint64(info.st_dev) == device
        && quint64(info.st_ino) == file;
}

Found locate(const Entry& entry)
{
    Found found;
    struct stat info;
    found.targetIsNew = isFile(entry.target, entry.device, entry.newFile, info);
    const QByteArray folder = folderOf(entry.target);
    DIR* dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!dir)
        return found;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name = folder + '/' + item->d_name;
        if (!isNameBeside(entry.target, name))
            continue;
        if (isFile(name, entry.device, entry.newFile, info))
            found.newName = name;
        else if (isFile(name, entry.device, entry.oldFile, info))
            found.oldName = name;
    }
    ::closedir(dir);
    return found;
}

// Puts every old file back: possible while each target that holds its new file has
// its old file beside it (or had none).
int undoAll(const std::vector<Entry>& entries, const std::vector<Found>& found)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const Found& f = found[i];
        int error = 0;
        if (f.targetIsNew && entry.oldFile != 0)
            error = exchangeFiles(f.oldName, entry.target);
        // The new file is now under the temporary name, or is the target it created.
        const QByteArray& newFile = f.targetIsNew ? (entry.oldFile != 0 ? f.oldName : entry.target) : f.newName;
        if (!error && !newFile.isEmpty() && ::unlink(newFile.constData()) != 0)
            error = errno;
        if (error)
            return error;
    }
    return 0;
}

// Puts every new file that is still beside its target in place, and removes the old
// files left beside them.
int finishAll(const std::vector<Entry>& entries, const std::vector<Found>& found)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        const Found& f = found[i];
        if (!f.targetIsNew && !f.newName.isEmpty()
            && std::rename(f.newName.constData(), entries[i].target.constData()) != 0)
            return errno;
        if (!f.oldName.isEmpty() && ::unlink(f.oldName.constData()) != 0)
            return errno;
    }
    return 0;
}

// Once every target holds its new file the replacement is made, and only the old
// files are left to remove. Before, the old files are put back where they all still
// are; where one is gone (a file system that cannot exchange renames over), the new
// files are put in place instead.
int settle(const std::vector<Entry>& entries)
{
    std::vector<Found> found;
    bool allNew = true;
    bool oldKept = true;
    for (const Entry& entry : entries) {
        found.push_back(locate(entry));
        const Found& f = found.back();
        allNew = allNew && f.targetIsNew;
        oldKept = oldKept && (!f.targetIsNew || entry.oldFile == 0 || !f.oldName.isEmpty());
    }
    const int error = !allNew && oldKept ? undoAll(entries, found) : finishAll(entries, found);
    for (const Entry& entry : entries)
        syncFolder(folderOf(entry.target));
    return error;
}

QByteArray recordText(std::span<const ReplacementRecord::File> files, int& error)
{
    QByteArray text = kHeader;
    for (const ReplacementRecord::File& file : files) {
        struct stat created;
        if (::fstat(file.fd, &created) != 0) {
            error = errno;
            return {};
        }
        struct stat old;
        const bool hasOld = ::lstat(file.target.constData(), &old) == 0;
        text += QByteArray::number(quint64(created.st_dev)) + ' ' + QByteArray::number(quint64(created.st_ino)) + ' '
            + QByteArray::number(hasOld ? quint64(old.st_ino) : 0) + ' ' + file.target.toHex() + '\n';
    }
    return text + kFooter;
}

bool parse(const QByteArray& text, std::vector<Entry>& entries)
{
    if (!text.startsWith(kHeader) || !text.endsWith(kFooter))
        return false;
    const QList<QByteArray> lines
        = text.mid(sizeof kHeader - 1, text.size() - qsizetype(sizeof kHeader + sizeof kFooter - 2)).split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 4)
            return false;
        Entry entry;
        bool ok[3] = {};
        entry.device = fields[0].toULongLong(&ok[0]);
        entry.newFile = fields[1].toULongLong(&ok[1]);
        entry.oldFile = fields[2].toULongLong(&ok[2]);
        entry.target = QByteArray::fromHex(fields[3]);
        if (!ok[0] || !ok[1] || !ok[2] || entry.newFile == 0 || !entry.target.startsWith('/'))
            return false;
        entries.push_back(entry);
    }
    return !entries.empty();
}

bool writeWhole(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Opens the record at path, locked; -1 with errno set (EEXIST: a file that is not a
// record of the user's, EBUSY: another program holds it; anything else: none).
int openLocked(const QByteArray& path)
{
    for (;;) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ELOOP)
                errno = EEXIST; // a link: never followed
            return -1;
        }
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1
            || info.st_size > kMaxRecord) {
            ::close(fd);
            errno = EEXIST;
            return -1;
        }
        int tries = 0;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || ++tries >= kLockTries) {
                ::close(fd);
                errno = EBUSY;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The program that held it may have removed it meanwhile: the name is looked
        // at again.
        struct stat named;
        if (::lstat(path.constData(), &named) == 0 && named.st_dev == info.st_dev && named.st_ino == info.st_ino)
            return fd;
        ::close(fd);
    }
}

QByteArray readAll(int fd)
{
    QByteArray text;
    char piece[4096];
    ssize_t n;
    while ((n = ::read(fd, piece, sizeof piece)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() > kMaxRecord)
            return {};
        text.append(piece, n);
    }
    return text;
}

} // namespace

int ReplacementRecord::begin(std::span<const File> files)
{
    if (files.empty())
        return 0;
    m_path = recordPath(files.front().target);
    const QString path = QFile::decodeName(m_path);
    NewFile record;
    int error = createNewFile(path, record);
    if (!error && ::flock(record.fd, LOCK_EX) != 0)
        error = errno;
    QByteArray text;
    if (!error)
        text = recordText(files, error);
    if (!error && !writeWhole(record.fd, text))
        error = errno ? errno : ENOSPC;
    if (!error)
        error = syncNewFile(record);
    // Whole and locked, it takes its name: only a free one.
    if (!error && record.name.isEmpty()) {
        const QByteArray descriptor = "/proc/self/fd/" + QByteArray::number(record.fd);
        if (::linkat(AT_FDCWD, descriptor.constData(), AT_FDCWD, m_path.constData(), AT_SYMLINK_FOLLOW) != 0)
            error = errno;
    } else if (!error) {
        error = ::link(record.name.constData(), m_path.constData()) == 0 ? 0 : errno;
        ::unlink(record.name.constData());
        record.name.clear();
    }
    if (error) {
        discardNewFile(record);
        m_path.clear();
        return error;
    }
    m_fd = record.fd;
    syncFolder(folderOf(m_path));
    replacementStep();
    return 0;
}

void ReplacementRecord::end()
{
    if (m_fd < 0)
        return;
    // Not synchronised: a record that a power cut brings back is settled as any other,
    // from the files as it finds them.
    ::unlink(m_path.constData());
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

int ReplacementRecord::recover(const QByteArray& target)
{
    const QByteArray path = recordPath(target);
    // No record, or a path the system refuses: the write that follows reports it.
    const int fd = openLocked(path);
    if (fd < 0)
        return errno == EEXIST || errno == EBUSY ? errno : 0;
    std::vector<Entry> entries;
    int error = parse(readAll(fd), entries) ? settle(entries) : EEXIST;
    if (!error && ::unlink(path.constData()) != 0)
        error = errno;
    syncFolder(folderOf(path));
    ::close(fd);
    return error;
}

#endif
