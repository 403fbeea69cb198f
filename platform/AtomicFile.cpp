#include "AtomicFile.h"

#include "Exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace
{
constexpr qsizetype kBufferSize = 1 << 18;
}

QString inOutErrorMessage(int code)
{
    switch (code) {
    case 2:
        return QStringLiteral("Fichier introuvable");
    case 3:
        return QStringLiteral("Nom de fichier incorrect");
    case 4:
        return QStringLiteral("Trop de fichiers ouverts");
    case 5:
        return QStringLiteral("Accès au fichier refusé");
    default:
        return QStringLiteral("Erreur E/S %1").arg(code);
    }
}

int fileErrorCode(int e)
{
#ifdef Q_OS_WIN
    // The C runtime's errno values on Windows.
    switch (e) {
    case ENOENT:
        return 3;
    case EMFILE:
        return 4;
    case EACCES:
        return 5;
    default:
        return e;
    }
#else
    switch (e) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return 5;
    default:
        return e;
    }
#endif
}

AtomicFile::AtomicFile(const QString& fileName, const QString& openError)
    : m_fileName(fileName)
    , m_file(fileName)
{
    // A directory can never be replaced by a file.
    if (QFileInfo(fileName).isDir())
        fail(EISDIR);
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int e = errno ? errno : ENOENT;
        if (!openError.isEmpty())
            throw EInOutError(openError.arg(QDir::toNativeSeparators(fileName)), fileErrorCode(e));
        fail(e);
    }
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile()
{
    if (!m_done)
        m_file.cancelWriting();
}

void AtomicFile::write(const char* data, qsizetype size)
{
    if (m_buffer.size() + size > kBufferSize) {
        flushBuffer();
        if (size >= kBufferSize) {
            errno = 0;
            const qint64 n = m_file.write(data, size);
            if (n != size)
                fail(errno ? errno : ENOSPC);
            m_written += n;
            return;
        }
    }
    m_buffer.append(data, size);
}

void AtomicFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    errno = 0;
    const qint64 n = m_file.write(m_buffer.constData(), m_buffer.size());
    if (n != m_buffer.size())
        fail(errno ? errno : ENOSPC);
    m_written += n;
    m_buffer.clear();
}

void AtomicFile::commit()
{
    flushBuffer();
    errno = 0;
    if (!m_file.commit()) {
        m_done = true;
        fail(errno ? errno : EIO);
    }
    m_done = true;
}

void AtomicFile::cancel()
{
    if (!m_done)
        m_file.cancelWriting();
    m_done = true;
}

void AtomicFile::fail(int systemError)
{
    if (!m_done && m_file.isOpen())
        m_file.cancelWriting();
    m_done = true;
    const int code = fileErrorCode(systemError);
    throw EInOutError(inOutErrorMessage(code), code);
}
