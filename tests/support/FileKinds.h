#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <thread>

// Files that are not regular files, made for a test in a folder of its own. Unix only:
// elsewhere each reports that it is not available (fileKind tells files, folders and
// links apart everywhere).

// A named pipe made at path, and the program that reads it: none, one that takes
// everything written into it, one that leaves after the first 64 KiB, or one that
// stops reading after the first 64 KiB, its end of the pipe kept open, until resume()
// (when it never resumes, it leaves after a while, so that a writer blocked in the
// system fails rather than hangs).
class NamedPipe
{
public:
    enum class Reader { None, Whole, LeavesEarly, Stops };

    NamedPipe(const QString& path, Reader reader);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    bool available() const { return m_made; }
    // A reader that stops has stopped reading.
    bool stopped() const { return m_stopped; }
    // A reader that stopped takes the rest.
    void resume() { m_resumed = true; }
    // What the reader took, once the writer has closed the pipe (or after a while
    // without a writer).
    QByteArray received();

private:
    void read();
    bool waitForResume(std::chrono::steady_clock::time_point giveUp);

    int m_fd = -1;
    Reader m_reader = Reader::None;
    bool m_made = false;
    std::thread m_reading;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_resumed = false;
    std::atomic<bool> m_stopped = false;
    QByteArray m_received;
};

// A character device made at path: the system's null device (it takes every byte
// and keeps none) under another name. False when the system refuses.
[[nodiscard]] bool makeNullDevice(const QString& path);
// A listening Unix socket's name at path; false when the system refuses.
[[nodiscard]] bool makeSocket(const QString& path);
// The kind of file at path, without following a link: "file", "folder", "link",
// "pipe", "character device", "socket" or "none".
[[nodiscard]] QString fileKind(const QString& path);
