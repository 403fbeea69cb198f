#pragma once

#include "output/mail/MailHandOff.h"

// Opens the desktop's compose window through xdg-email, with the subject and the
// body filled in, and waits for the tool to return.
class DesktopMail : public MailHandOff
{
public:
    // Returns the tool's exit code; 1 when it cannot be started or crashes.
    unsigned send(const QString& subject, const QString& body, QWidget* window) override;
};
