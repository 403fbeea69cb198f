#pragma once

#include "output/mail/MailHandOff.h"
#include "output/mail/MapiMessage.h"

#include <QLibrary>

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
