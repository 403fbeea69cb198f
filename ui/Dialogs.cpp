#include "ui/Dialogs.h"

#include "ui/QtDialogs.h"

namespace
{
Dialogs* g_installed = nullptr;
} // namespace

Dialogs& Dialogs::instance()
{
    static QtDialogs qtDialogs;
    return g_installed ? *g_installed : qtDialogs;
}

void Dialogs::install(Dialogs* d)
{
    g_installed = d;
}

void Dialogs::showError(QWidget* parent, const QString& caption, const QString& text)
{
    MessageBox box;
    box.caption = caption;
    box.text = text;
    box.icon = Icon::Error;
    box.buttons = { QStringLiteral("OK") };
    box.defaultButton = 0;
    box.escapeButton = 0;
    messageBox(parent, box);
}
