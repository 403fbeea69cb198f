#include "ExportOutput.h"

#include "AtomicFile.h"
#include "Exceptions.h"

#include <QIODevice>
#include <cerrno>

ExportOutput::ExportOutput(const QString& fileName)
    : m_file(std::make_unique<AtomicFile>(fileName, QStringLiteral("Ne peut créer le fichier %1")))
    , m_data(std::make_unique<char[]>(size_t(kCapacity)))
{
}

ExportOutput::ExportOutput(QIODevice& device)
    : m_device(&device)
    , m_data(std::make_unique<char[]>(size_t(kCapacity)))
{
}

ExportOutput::~ExportOutput() = default;

void ExportOutput::appendLarge(const char* data, qsizetype size)
{
    flush();
    if (size >= kCapacity) {
        write(data, size);
        return;
    }
    std::memcpy(m_data.get(), data, size_t(size));
    m_size = size;
}

void ExportOutput::flush()
{
    write(m_data.get(), m_size);
    m_size = 0;
}

void ExportOutput::write(const char* data, qsizetype size)
{
    if (size == 0)
        return;
    if (m_file) {
        m_file->write(data, size);
        return;
    }
    errno = 0;
    if (m_device->write(data, size) != size) {
        const int code = fileErrorCode(errno ? errno : ENOSPC);
        throw EInOutError(inOutErrorMessage(code), code);
    }
}

void ExportOutput::commit()
{
    flush();
    if (m_file)
        m_file->commit();
}
