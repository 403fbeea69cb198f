#pragma once

#include "platform/Exceptions.h"

#include <QString>
#include <functional>
#include <optional>

struct AliasSettings;

// A user name and the password that goes with it.
struct Login {
    QString user;
    QString password;
};

// Thrown by a connection when the server asks for a password it was not given, or
// refuses the one it was given. The message is the server's.
VELOSQL_EXCEPTION_CLASS(ELoginRefused, EDatabaseError)

// Asks the user for what the engine needs to reach a database. The engine never asks
// anything itself: the program installs a provider that opens its dialogs.
class CredentialsProvider
{
public:
    virtual ~CredentialsProvider() = default;
    // The user name and password for alias, proposing user; retry tells that the server
    // refused the last ones, notice why a password the alias holds was not used (empty
    // when none was left aside). Nothing when the user gives up.
    virtual std::optional<Login> login(const QString& alias, const QString& user, bool retry, const QString& notice)
        = 0;
    // The password of a table of alias's database. Nothing when the user gives up.
    virtual std::optional<QString> tablePassword(const QString& alias, const QString& table) = 0;
};

namespace Credentials
{

// Installs provider (not owned); nullptr leaves the engine without one.
void install(CredentialsProvider* provider);
CredentialsProvider* installed();

// Runs connect with settings. When it throws ELoginRefused and the alias holds no
// password, asks the installed provider for a login and runs connect again with it,
// at most twice: once, and once more when the server refuses the first login given.
// On return, settings hold the user and password that the server took. Throws EDatabaseError with the server's message
// when the alias holds a password, when no provider is installed or when the last login is refused, and
// loginCancelledMessage() when the user gives up.
void connectWithLogin(AliasSettings& settings, const std::function<void(const AliasSettings&)>& connect);

// The password of a table, for an engine that protects tables with one. Throws
// EDatabaseError when no provider is installed or the user gives up.
QString tablePassword(const QString& alias, const QString& table);

// The message of a login that the user gave up.
QString loginCancelledMessage(const QString& alias);
// The message of a table password that the user did not give.
QString tablePasswordCancelledMessage(const QString& table);

} // namespace Credentials
