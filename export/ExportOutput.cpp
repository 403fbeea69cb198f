#include "ExportOutput.h"

#include "AtomicFile.h"
#include "Exceptions.h"

#include <QIODevice>
#include <cerrno>

ExportOutput::ExportOutput(const QString& fileName)
    : m_file(std::make_unique<AtomicFile>(fileName, createErrorMessage()))
{
    m_buffer.reserve(kFlushSize + kFlushSize / 4);
}

ExportOutput::ExportOutput(QIODevice& device) : m_device(&device)
{
    m_buffer.reserve(kFlushSize + kFlushSize / 4);
}

ExportOutput::~ExportOutput() = default;

QString ExportOutput::createErrorMessage()
{
    return QStringLiteral("Ne peut créer le fichier %1");
}

void ExportOutput::flush()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file) {
        m_file->write(m_buffer);
    } else {
        errno = 0;
        if (m_device->write(m_buffer) != m_buffer.size()) {
            const int code = fileErrorCode(errno ? errno : ENOSPC);
            throw EInOutError(inOutErrorMessage(code), code);
        }
    }
    // Keeps the allocation for the next records.
    m_buffer.resize(0);
}

void ExportOutput::commit()
{
    flush();
    if (m_file)
        m_file->commit();
}
