#pragma once

#include "MailHandOff.h"

#include <QLibrary>
#include <QtGlobal>
#include <cstdint>

// The published Simple MAPI declarations that the binding uses. ULONG is 32 bits
// wide on every system (unsigned long on Windows, unsigned int elsewhere).
namespace SimpleMapi
{

#ifdef Q_OS_WIN
using ULONG = unsigned long;
#define VELOSQL_MAPI_CALL __stdcall
#else
using ULONG = unsigned int;
#define VELOSQL_MAPI_CALL
#endif
static_assert(sizeof(ULONG) == 4);

using ULONG_PTR = std::uintptr_t;
using LHANDLE = ULONG_PTR;
using FLAGS = ULONG;

struct MapiRecipDesc;
struct MapiFileDesc;

struct MapiMessage {
    ULONG ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    FLAGS flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

constexpr FLAGS MAPI_LOGON_UI = 0x1;
constexpr FLAGS MAPI_NEW_SESSION = 0x2;
constexpr FLAGS MAPI_DIALOG = 0x8;

using SendMailFunction = ULONG(VELOSQL_MAPI_CALL*)(
    LHANDLE lhSession, ULONG_PTR ulUIParam, MapiMessage* lpMessage, FLAGS flFlags, ULONG ulReserved);

} // namespace SimpleMapi

// The message handed to MAPISendMail of the MAPI32 library. The library is loaded
// at the first send and its entry point kept for later sends; when either is
// missing the send fails with code 1 and the next send tries again. The library
// is released when the binding is destroyed (at program end).
class SimpleMapiMail : public MailHandOff
{
public:
    // folder empty: the system's library search order.
    explicit SimpleMapiMail(QString libraryName = QStringLiteral("MAPI32"), QString folder = {});
    ~SimpleMapiMail() override;
    SimpleMapiMail(const SimpleMapiMail&) = delete;
    SimpleMapiMail& operator=(const SimpleMapiMail&) = delete;

    // Subject and body go over as zero-terminated Windows-1252 strings; no session,
    // no recipient, no attachment; the mail client's logon and compose dialogs.
    unsigned send(const QString& subject, const QString& body, QWidget* window) override;

private:
    bool bind();

    QString m_libraryName;
    QString m_folder;
    QLibrary m_library;
    SimpleMapi::SendMailFunction m_sendMail = nullptr;
};
