#pragma once

#include <QString>
#include <exception>
#include <functional>

// The program's start-up and end.
namespace VeloSQL
{

// Sets up the application object: title "VeloSQL", no quit on the last window
// closed (the splash and the query window end the program themselves).
void initApplication();

// Creates FicheIntro, FicheSQL and FicheClip in that order. Throws when a window
// cannot be created (the settings table cannot be opened). whileBuilding runs
// between the splash and the query window, where a login dialog would: tests use it
// to make the building take its time.
void createWindows(const std::function<void()>& whileBuilding = {});
void destroyWindows();

// The text of the start-up failure box.
QString startupFailureText(const std::exception& error, const QString& moduleName);

// Runs the whole program: creates the windows, shows the splash, runs the event
// loop. Returns 0 after a normal end, 1 after a start-up failure.
int run();

} // namespace VeloSQL
