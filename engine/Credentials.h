#pragma once

#include "platform/Exceptions.h"

#include <QString>
#include <functional>
#include <optional>

struct AliasSettings;

// A user name and the password that goes with it; remember tells that the user asks for
// the password to be kept in the system's store of secrets.
struct Login {
    QString user;
    QString password;
    bool remember = false;
};

// What the login prompt shows: the alias, a proposed user, whether the server refused
// the last password (typed or remembered), why a password the alias holds was not used
// (empty when none was set aside), whether a password is remembered for the alias, and
// why none can be (empty when the system's store answers).
struct LoginPrompt {
    QString alias;
    QString user;
    bool retry = false;
    QString notice;
    bool remembered = false;
    QString storeUnavailable;
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
    // The user name and password that prompt asks for. Nothing when the user gives up.
    virtual std::optional<Login> login(const LoginPrompt& prompt) = 0;
    // Tells that a password the server took could not be remembered, and why.
    virtual void notRemembered(const QString& alias, const QString& reason) = 0;
    // The password of a table of alias's database. Nothing when the user gives up.
    virtual std::optional<QString> tablePassword(const QString& alias, const QString& table) = 0;
};

namespace Credentials
{

// Installs provider (not owned); nullptr leaves the engine without one.
void install(CredentialsProvider* provider);
CredentialsProvider* installed();

// Runs connect with settings. When it throws ELoginRefused and the alias holds no
// password, tries the password remembered in the system's store for the alias (see
// rememberedKey), then asks the installed provider for a login and runs connect again
// with it, at most twice: once, and once more when the server refuses the first login
// given. A login that the server took and that the user asked to remember replaces the
// one remembered; a login given with "remember" unchecked forgets it.
// On return, settings hold the user and password that the server took. Throws
// EDatabaseError with the server's message when the alias holds a password, when no
// provider is installed or when the last login is refused, and loginCancelledMessage()
// when the user gives up.
void connectWithLogin(AliasSettings& settings, const std::function<void(const AliasSettings&)>& connect);

// The name under which the password of settings' login is remembered: its alias, host,
// port, database and user.
QString rememberedKey(const AliasSettings& settings);

// The password of a table, for an engine that protects tables with one. Throws
// EDatabaseError when no provider is installed or the user gives up.
QString tablePassword(const QString& alias, const QString& table);

// The message of a login that the user gave up.
QString loginCancelledMessage(const QString& alias);
// The message of a table password that the user did not give.
QString tablePasswordCancelledMessage(const QString& table);

} // namespace Credentials
