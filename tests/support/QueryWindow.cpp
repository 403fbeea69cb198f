#include "QueryWindow.h"

#include <QComboBox>
#include <QTest>

QueryWindow::~QueryWindow()
{
    reset();
}

TestDatabase& QueryWindow::createDatabase(const QString& setup, TestDatabase::Content content)
{
    window.reset();
    db = std::make_unique<TestDatabase>(content);
    if (!setup.isEmpty())
        db->exec(setup);
    return *db;
}

void QueryWindow::setSetting(const QString& column, const QString& text) const
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    db->exec(QStringLiteral("UPDATE ListBase SET %1 = '%2'").arg(column, escaped));
}

void QueryWindow::createCaptureEditor()
{
    clip = std::make_unique<TFicheClip>();
    FicheClip = clip.get();
}

TFicheSQL& QueryWindow::createWindow()
{
    window.reset();
    if (!dialogs)
        dialogs = std::make_unique<ScriptedDialogs>();
    window = std::make_unique<TFicheSQL>();
    return *window;
}

bool QueryWindow::showActive() const
{
    window->show();
    return QTest::qWaitForWindowActive(window.get());
}

void QueryWindow::run(const QString& statement) const
{
    window->ComboBoxSQL->setEditText(statement);
    window->ToolButtonResultClick(nullptr);
}

void QueryWindow::reset()
{
    window.reset();
    if (FicheClip == clip.get())
        FicheClip = nullptr;
    clip.reset();
    dialogs.reset();
    db.reset();
}
