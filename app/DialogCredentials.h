#pragma once

#include "engine/Credentials.h"

// The program's credentials provider: asks through the program's dialogs, over
// whichever of its windows is active.
class DialogCredentials : public CredentialsProvider
{
public:
    std::optional<Login> login(const LoginPrompt& prompt) override;
    void notRemembered(const QString& alias, const QString& reason) override;
    std::optional<QString> tablePassword(const QString& alias, const QString& table) override;
};
