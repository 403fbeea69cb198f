#include "output/mail/DesktopMail.h"

#include <QProcess>

unsigned DesktopMail::send(const QString& subject, const QString& body, QWidget*)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral("xdg-email"), { QStringLiteral("--subject"), subject, QStringLiteral("--body"), body });
    if (!tool.waitForStarted(-1))
        return 1;
    if (!tool.waitForFinished(-1) || tool.exitStatus() != QProcess::NormalExit)
        return 1;
    return unsigned(tool.exitCode());
}
