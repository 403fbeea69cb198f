#pragma once

#include <QString>
#include <memory>

class QWidget;

// Hands a message to the user's mail client, which shows its own compose window
// where the user adds recipients and sends or abandons the message.
class MailHandOff
{
public:
    virtual ~MailHandOff() = default;

    // Hands over subject and body (lines ended by CR LF); window is the parent of the
    // mail client's windows (may be null). Blocks until the mail client is done.
    // Returns 0 on success, otherwise a failure code of the mail system.
    [[nodiscard]] virtual unsigned send(const QString& subject, const QString& body, QWidget* window) = 0;

    // The hand-off of this system: Simple MAPI on Windows, the desktop's
    // compose window (xdg-email) elsewhere.
    static std::unique_ptr<MailHandOff> createSystem();
};
