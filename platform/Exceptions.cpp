#include "platform/Exceptions.h"

#include <cerrno>

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
    , m_address(__builtin_return_address(0))
{
}

EDatabaseError::EDatabaseError(QString message, qsizetype position)
    : Exception(std::move(message))
    , m_position(position)
{
}

EInOutError::EInOutError(QString message, int code)
    : Exception(std::move(message))
    , m_code(code)
{
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
    // The C runtime's errno values, as the system's own error codes.
    switch (e) {
    case ENOENT:
        return 3; // ERROR_PATH_NOT_FOUND
    case EMFILE:
        return 4; // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
        return 5; // ERROR_ACCESS_DENIED
    case EBUSY:
        return 32; // ERROR_SHARING_VIOLATION: a file in use
    case EEXIST:
        return 80; // ERROR_FILE_EXISTS
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case EIO:
        return 29; // ERROR_WRITE_FAULT (EIO would read as 5)
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
