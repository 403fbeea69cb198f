#include "app/UserTransaction.h"

#include "engine/Connection.h"
#include "ui/Dialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QSessionManager>
#include <QWidget>

UserTransaction::UserTransaction(QWidget* window, QLabel* label, ConnectionOf connection)
    : QObject(window)
    , m_window(window)
    , m_label(label)
    , m_connection(std::move(connection))
{
    m_label->setToolTip(openTransactionMessage());
    m_label->hide();
    // The end of the desktop session closes the window as the user would, with its
    // questions (this transaction's, then the remembered list's); a window that stays
    // open asks the session manager to cancel the shutdown.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction())
            return;
        if (m_window->isVisible() && !m_window->close())
            manager.cancel();
        manager.release();
    });
}

bool UserTransaction::check()
{
    try {
        const std::shared_ptr<Connection> connection = m_connection();
        m_open = connection && connection->inTransaction();
    } catch (const std::exception&) {
        m_open = false;
    }
    m_label->setVisible(m_open);
    return m_open;
}

QString UserTransaction::question()
{
    return QStringLiteral("Une transaction est ouverte : ses modifications ne sont pas encore enregistrées.\n"
                          "Les valider, ou les annuler avant de fermer ?");
}

QStringList UserTransaction::answers()
{
    return { QStringLiteral("Valider"), QStringLiteral("Annuler les modifications"), QStringLiteral("Ne pas fermer") };
}

bool UserTransaction::settleBeforeClosing()
{
    if (!check())
        return true;
    Dialogs::MessageBox box;
    box.caption = QStringLiteral("Confirmation");
    box.text = question();
    box.icon = Dialogs::Icon::Question;
    box.buttons = answers();
    // Enter and Escape both keep everything as it is.
    box.defaultButton = 2;
    box.escapeButton = 2;
    const int answer = Dialogs::instance().messageBox(m_window, box);
    if (answer != 0 && answer != 1)
        return false;
    try {
        if (const std::shared_ptr<Connection> connection = m_connection())
            connection->endTransaction(answer == 0);
    } catch (...) {
        check();
        throw;
    }
    return !check();
}
