#pragma once

#include <QByteArray>
#include <span>

// Files put in place (one, or several together), told to the disk before the first
// of them is named: a program killed between two of the steps leaves the record, and
// the next write of the first target finishes or undoes what it tells, so that the
// targets are all old or all new and no temporary file stays beside them.
//
// The record is the file "<first target>.velosql": for each target, its path and the
// identities (device and file number) of its new file and of the file it replaces. It
// is written whole, synchronised and locked before it takes its name, and it takes a
// name that is free only: never through a link, never over a file that is there.
// Recovery reads only a record that is a regular file of the user's own, touches only
// files of the identities it lists, and waits for the lock, so that it never undoes a
// replacement that another program is making.
//
// Functions return 0 or an errno value.
class ReplacementRecord
{
public:
    // A new file, open at fd, about to replace target.
    struct File {
        int fd = -1;
        QByteArray target;
    };

    ReplacementRecord() = default;
    // Removes the record when end() was not called.
    ~ReplacementRecord();
    ReplacementRecord(const ReplacementRecord&) = delete;
    ReplacementRecord& operator=(const ReplacementRecord&) = delete;

    // Records files before they are named and moved: files.front().target names the
    // record. EEXIST when a record (or another file) holds the name.
    [[nodiscard]] int begin(std::span<const File> files);
    // Removes the record: every file is in place, or every target is back.
    void end();

    // Finishes or undoes the replacement that a record beside target tells of, and
    // removes the record; 0 when there is none. EEXIST when the record's name holds
    // a file that is not a record of the user's (another user's file, a link, a file
    // not well-formed); EBUSY when another program holds the record longer than a
    // replacement takes.
    [[nodiscard]] static int recover(const QByteArray& target);
    // The name of the record beside target.
    [[nodiscard]] static QByteArray recordPath(const QByteArray& target);

private:
    int m_fd = -1;
    QByteArray m_path;
};

// Steps of a replacement, told to a hook that tests install to kill
// the program at each; nothing is told without one.
using ReplacementStepHook = void (*)();
void setReplacementStepHook(ReplacementStepHook hook);
void replacementStep();
