#include "export/ExportOutput.h"

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"

#include <QIODevice>
#include <cerrno>
#include <vector>

ExportOutput::ExportOutput(const QString& fileName, Creation creation)
    : m_fileName(fileName)
{
    if (creation == Creation::Now)
        createFile();
    m_buffer.reserve(2 * kCapacity);
}

ExportOutput::ExportOutput(QIODevice& device)
    : m_device(&device)
{
    m_buffer.reserve(2 * kCapacity);
}

ExportOutput::~ExportOutput() = default;

void ExportOutput::createFile()
{
    m_file = std::make_unique<AtomicFile>(m_fileName, QStringLiteral("Ne peut créer le fichier %1"));
    m_file->setStallWait(m_stallWait);
}

void ExportOutput::setStallWait(std::function<bool()> wait)
{
    m_stallWait = std::move(wait);
    if (m_file)
        m_file->setStallWait(m_stallWait);
}

// A piece of its own: written straight from data, after what the buffer holds.
void ExportOutput::appendLarge(const char* data, qsizetype size)
{
    flush();
    write(data, size);
}

void ExportOutput::flush()
{
    write(m_buffer.constData(), m_buffer.size());
    if (m_buffer.capacity() > 2 * kCapacity) {
        // A large cell grew the buffer: give that memory back.
        m_buffer = QByteArray();
        m_buffer.reserve(2 * kCapacity);
    }
    m_buffer.resize(0);
}

void ExportOutput::write(const char* data, qsizetype size)
{
    if (size == 0)
        return;
    if (m_device) {
        errno = 0;
        if (m_device->write(data, size) != size) {
            const int code = fileErrorCode(errno ? errno : ENOSPC);
            throw EInOutError(inOutErrorMessage(code), code);
        }
        return;
    }
    if (!m_file)
        createFile();
    m_file->write(data, size);
}

void ExportOutput::finish()
{
    flush();
    if (m_file)
        m_file->finish();
}

void ExportOutput::commit()
{
    finish();
    if (m_file)
        m_file->commit();
}

void ExportOutput::commitTogether(ExportOutput& first, ExportOutput& second)
{
    // Both complete on disk before either replaces its target.
    first.finish();
    second.finish();
    std::vector<AtomicFile*> files;
    for (const ExportOutput* output : { &first, &second }) {
        if (output->m_file)
            files.push_back(output->m_file.get());
    }
    AtomicFile::commitTogether(files);
}
