#include "output/mail/SimpleMapiMail.h"

#include "platform/Windows1252.h"

#include <QDir>
#include <QWidget>

using namespace SimpleMapi;

namespace
{
constexpr unsigned kFailure = 1; // MAPI_E_FAILURE
}

SimpleMapiMail::SimpleMapiMail(QString libraryName, QString folder)
    : m_libraryName(std::move(libraryName))
    , m_folder(std::move(folder))
{
}

SimpleMapiMail::~SimpleMapiMail()
{
    if (m_library.isLoaded())
        m_library.unload();
}

bool SimpleMapiMail::bind()
{
    if (m_sendMail)
        return true;
    m_library.setFileName(m_folder.isEmpty() ? m_libraryName : QDir(m_folder).filePath(m_libraryName));
    if (!m_library.load())
        return false;
    m_sendMail = reinterpret_cast<SendMailFunction>(m_library.resolve("MAPISendMail"));
    if (!m_sendMail)
        m_library.unload();
    return m_sendMail != nullptr;
}

unsigned SimpleMapiMail::send(const QString& subject, const QString& body, QWidget* window)
{
    if (!bind())
        return kFailure;
    // Both strings stay alive, zero-terminated, for the whole call.
    QByteArray subjectBytes = Windows1252::encode(subject);
    QByteArray noteBytes = Windows1252::encode(body);
    MapiMessage message {};
    message.lpszSubject = subjectBytes.data();
    message.lpszNoteText = noteBytes.data();
    const ULONG_PTR handle = window ? ULONG_PTR(window->winId()) : 0;
    return unsigned(m_sendMail(0, handle, &message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0));
}
