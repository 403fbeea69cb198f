#pragma once

#include <QString>
#include <optional>

// The system's store of secrets (the Secret Service on Linux, the Credential Manager on
// Windows), where a password that the user asks to remember is kept. A password never
// goes to a file instead: where no store answers, none is remembered.
class SecretStore
{
public:
    virtual ~SecretStore() = default;
    // Why no secret can be kept here, in French for the user; empty when the store answers.
    virtual QString unavailable() = 0;
    // The secret kept under key; nothing when there is none. Throws EDatabaseError when the
    // store fails.
    virtual std::optional<QString> read(const QString& key) = 0;
    // Keeps secret under key, in place of the one there. Throws EDatabaseError when the
    // store fails.
    virtual void write(const QString& key, const QString& secret) = 0;
    // Drops what key holds, if anything. Throws EDatabaseError when the store fails.
    virtual void forget(const QString& key) = 0;
};

namespace SecretStores
{

// The store the engine keeps passwords in: the one installed, or else the system's.
SecretStore& installed();
// Installs store (not owned); nullptr gives the system's back.
void install(SecretStore* store);
// The system's store, through QtKeychain where the program was built with it.
SecretStore& system();

} // namespace SecretStores
