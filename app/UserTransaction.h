#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class Connection;
class QLabel;
class QWidget;

// The transaction that the user's own statements opened (BEGIN, SAVEPOINT, a batch
// holding one) on the window's connection. While it is open the window says so, in
// a line beside the record counter and in the history, and nothing ends it without
// the user's word: closing the window, or the end of the desktop session, asks
// first whether to commit it, roll it back or not close.
class UserTransaction : public QObject
{
    Q_OBJECT
public:
    // The window's connection when it is open, none otherwise.
    using ConnectionOf = std::function<std::shared_ptr<Connection>()>;

    // label is the window's line that tells the transaction is open.
    UserTransaction(QWidget* window, QLabel* label, ConnectionOf connection);

    // Asks the engine, after a statement ran or failed, and shows the answer. A
    // connection that cannot answer holds no transaction of the user's.
    bool check();
    bool open() const { return m_open; }

    // Before the window closes: true when nothing is open, or once the transaction is
    // committed or rolled back as the user answered; false when the user keeps the
    // window open. A commit or rollback that fails throws, the transaction as it was.
    bool settleBeforeClosing();

    // The questions' texts.
    static QString question();
    static QStringList answers();

private:
    QWidget* m_window;
    QLabel* m_label;
    ConnectionOf m_connection;
    bool m_open = false;
};
