#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstring>
#include <functional>
#include <memory>

class AtomicFile;
class QIODevice;

// One output of an export, written in pieces of about a fixed size so that memory
// holds at most one piece (and one cell) whatever the size of the result.
//
// Two kinds of output: a file written atomically (a temporary file in the target's
// folder, renamed over the target by commit(); until then the target is untouched,
// and an output destroyed without commit() discards its temporary file), or a device
// that the caller owns (a QBuffer, a pipe), written in place. Every write is checked:
// a short write throws EInOutError.
class ExportOutput
{
public:
    // When a file output creates its temporary file: at once, or with the first byte
    // it writes, so that an output that gets no byte leaves its target alone.
    enum class Creation { Now, WhenWritten };

    // A failure to create the temporary file throws "Ne peut créer le fichier <name>".
    explicit ExportOutput(const QString& fileName, Creation creation = Creation::Now);
    explicit ExportOutput(QIODevice& device);
    ~ExportOutput();
    ExportOutput(const ExportOutput&) = delete;
    ExportOutput& operator=(const ExportOutput&) = delete;

    void append(const char* data, qsizetype size)
    {
        if (size >= kCapacity) {
            appendLarge(data, size);
            return;
        }
        const qsizetype at = m_buffer.size();
        m_buffer.resize(at + size);
        std::memcpy(m_buffer.data() + at, data, size_t(size));
        appended();
    }
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    template <qsizetype N> void append(const char (&literal)[N]) { append(literal, N - 1); }
    void append(char c)
    {
        m_buffer.append(c);
        appended();
    }

    // The bytes not written yet, for writers that append to them in place (a cell
    // transcoded straight into the output, without a copy of its own); call
    // appended() after each such piece.
    QByteArray& buffer() { return m_buffer; }
    // Writes the buffer once it holds a piece.
    void appended()
    {
        if (m_buffer.size() >= kCapacity)
            flush();
    }

    // Asked while a pipe or a device written in place takes no more bytes; false stops
    // the export with an EInOutError (see AtomicFile::setStallWait).
    void setStallWait(std::function<bool()> wait);

    // Writes what is left and makes a file complete on disk, its target not replaced
    // yet: an export of several files finishes each before it commits the first.
    void finish();
    // Finishes, then a file replaces its target (unless it was never created).
    void commit();
    // Commits outputs written together: their files replace their targets together,
    // so that a failure leaves every target as it was.
    static void commitTogether(ExportOutput& first, ExportOutput& second);

private:
    static constexpr qsizetype kCapacity = qsizetype(1) << 20;

    void appendLarge(const char* data, qsizetype size);
    void flush();
    void write(const char* data, qsizetype size);
    void createFile();

    QString m_fileName;
    std::unique_ptr<AtomicFile> m_file;
    QIODevice* m_device = nullptr;
    std::function<bool()> m_stallWait;
    // Room for a piece and one more append below a piece, so that appends never
    // reallocate it; a larger cell written in place may grow it.
    QByteArray m_buffer;
};
