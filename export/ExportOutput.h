#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstring>
#include <memory>

class AtomicFile;
class QIODevice;

// One output of an export, written in pieces of a fixed size so that memory holds
// at most one piece whatever the size of the result.
//
// Two kinds of output: a file written atomically (a temporary file in the target's
// folder, renamed over the target by commit(); until then the target is untouched,
// and an output destroyed without commit() discards its temporary file), or a device
// that the caller owns (a QBuffer, a pipe), written in place. Every write is checked:
// a short write throws EInOutError.
class ExportOutput
{
public:
    // Creates the temporary file now; a failure throws "Ne peut créer le fichier <name>".
    explicit ExportOutput(const QString& fileName);
    explicit ExportOutput(QIODevice& device);
    ~ExportOutput();
    ExportOutput(const ExportOutput&) = delete;
    ExportOutput& operator=(const ExportOutput&) = delete;

    void append(const char* data, qsizetype size)
    {
        if (size > kCapacity - m_size) {
            appendLarge(data, size);
            return;
        }
        std::memcpy(m_data.get() + m_size, data, size_t(size));
        m_size += size;
    }
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    template <qsizetype N> void append(const char (&literal)[N]) { append(literal, N - 1); }
    void append(char c)
    {
        if (m_size == kCapacity)
            flush();
        m_data[m_size++] = c;
    }

    // Writes what is left; a file then replaces its target.
    void commit();

private:
    // Larger than the atomic file's own buffer, so that it writes every piece straight
    // through instead of copying it.
    static constexpr qsizetype kCapacity = qsizetype(1) << 20;

    void appendLarge(const char* data, qsizetype size);
    void flush();
    void write(const char* data, qsizetype size);

    std::unique_ptr<AtomicFile> m_file;
    QIODevice* m_device = nullptr;
    std::unique_ptr<char[]> m_data;
    qsizetype m_size = 0;
};
