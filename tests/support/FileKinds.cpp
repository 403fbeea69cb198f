#include "FileKinds.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace
{

// How long a reader waits for a writer that never comes.
constexpr auto kPatience = std::chrono::seconds(20);
// What a reader that leaves early takes.
constexpr qsizetype kEarlyLeave = 65536;

} // namespace

NamedPipe::NamedPipe(const QString& path, Reader reader)
    : m_reader(reader)
{
#ifndef Q_OS_WIN
    const QByteArray name = QFile::encodeName(path);
    m_made = ::mkfifo(name.constData(), 0600) == 0;
    if (!m_made || reader == Reader::None)
        return;
    // Opened here, without waiting for a writer, so that the pipe has its reader
    // before the test writes.
    m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    m_made = m_fd >= 0;
    if (m_made)
        m_reading = std::thread([this] { read(); });
#else
    Q_UNUSED(path);
#endif
}

NamedPipe::~NamedPipe()
{
    m_stop = true;
    if (m_reading.joinable())
        m_reading.join();
#ifndef Q_OS_WIN
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

QByteArray NamedPipe::received()
{
    if (m_reading.joinable())
        m_reading.join();
    return m_received;
}

// Until a writer has come and gone: a read finds nothing while no writer has the
// pipe open (0), or while it has written nothing more (EAGAIN).
void NamedPipe::read()
{
#ifndef Q_OS_WIN
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    bool writerSeen = false;
    char piece[4096];
    while (!m_stop && std::chrono::steady_clock::now() < giveUp) {
        const ssize_t n = ::read(m_fd, piece, sizeof piece);
        if (n > 0) {
            writerSeen = true;
            m_received.append(piece, n);
            const bool leaves
                = m_reader == Reader::LeavesEarly || (m_reader == Reader::Stops && !waitForResume(giveUp));
            if (leaves && m_received.size() >= kEarlyLeave) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            continue;
        }
        if (n == 0 && writerSeen)
            return;
        if (n < 0 && errno == EAGAIN)
            writerSeen = true;
        pollfd wait { m_fd, POLLIN, 0 };
        ::poll(&wait, 1, 10);
    }
#endif
}

// A reader that stops once it has its first 64 KiB: false when it gave up waiting to
// be resumed.
bool NamedPipe::waitForResume(std::chrono::steady_clock::time_point giveUp)
{
    if (m_received.size() < kEarlyLeave)
        return true;
    m_stopped = !m_resumed;
    while (!m_resumed) {
        if (m_stop || std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool makeNullDevice(const QString& path)
{
#ifndef Q_OS_WIN
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

bool makeSocket(const QString& path)
{
#ifndef Q_OS_WIN
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(name.begin(), name.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd); // the name stays
    return bound;
#else
    Q_UNUSED(path);
    return false;
#endif
}

QString fileKind(const QString& path)
{
#ifndef Q_OS_WIN
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("none");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("file");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("folder");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("link");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("pipe");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("character device");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("socket");
    return QStringLiteral("other");
#else
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("link");
    if (info.isDir())
        return QStringLiteral("folder");
    if (info.isFile())
        return QStringLiteral("file");
    return info.exists() ? QStringLiteral("other") : QStringLiteral("none");
#endif
}
