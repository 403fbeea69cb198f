#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class AtomicFile;
class QIODevice;

// One output of an export. The export appends its bytes to buffer() and calls
// flushIfFull() after each record, so that memory holds at most one buffer's worth.
//
// Two kinds of output: a file written atomically (a temporary file in the target's
// folder, renamed over the target by commit(); until then the target is untouched,
// and an output destroyed without commit() discards its temporary file), or a device
// that the caller owns (a QBuffer, a pipe), written in place. Every write is checked:
// a short write throws EInOutError.
class ExportOutput {
public:
    // Creates the temporary file now; a failure throws "Ne peut créer le fichier <name>".
    explicit ExportOutput(const QString& fileName);
    explicit ExportOutput(QIODevice& device);
    ~ExportOutput();
    ExportOutput(const ExportOutput&) = delete;
    ExportOutput& operator=(const ExportOutput&) = delete;

    QByteArray& buffer() { return m_buffer; }
    void flushIfFull()
    {
        if (m_buffer.size() >= kFlushSize)
            flush();
    }
    void flush();
    // Writes what is left; a file then replaces its target.
    void commit();

    // The message of a file that cannot be created ("%1" is the file name).
    static QString createErrorMessage();

private:
    // The atomic file writes pieces of this size straight through, without copying.
    static constexpr qsizetype kFlushSize = qsizetype(1) << 18;

    std::unique_ptr<AtomicFile> m_file;
    QIODevice* m_device = nullptr;
    QByteArray m_buffer;
};
