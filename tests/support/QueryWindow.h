#pragma once

#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "app/SQL.h"

#include <memory>

// The query window as the window tests drive it: a fresh test database, scripted
// dialogs and the window itself, and the capture editor when a test asks for it.
// Each part can be made again on its own; reset() takes them down window first.
struct QueryWindow {
    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<TFicheClip> clip;
    std::unique_ptr<TFicheSQL> window;

    ~QueryWindow();

    // A new test database with the statements of setup run on it.
    TestDatabase& createDatabase(const QString& setup = {}, TestDatabase::Content content = TestDatabase::WithSettings);
    // Stores text in a column of the settings table (TTTYPES, POLICE5).
    void setSetting(const QString& column, const QString& text) const;
    // The capture editor, installed as the one the window hands captures to.
    void createCaptureEditor();
    // Scripted dialogs (kept when there are some) and a new window, not shown.
    TFicheSQL& createWindow();
    // Shows the window and waits until it is active; false when it never became so.
    [[nodiscard]] bool showActive() const;
    // Types statement into the statement box and runs it as the run button does.
    void run(const QString& statement) const;

    void reset();
};
