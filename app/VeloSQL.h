#pragma once

#include <QString>
#include <exception>

// The program's start-up and end.
namespace VeloSQL
{

// Sets up the application object: title "VeloSQL", no quit on the last window
// closed (the splash and the query window end the program themselves).
void initApplication();

// Creates FicheIntro, FicheSQL and FicheClip in that order. Throws when a window
// cannot be created (the settings table cannot be opened).
void createWindows();
void destroyWindows();

// The text of the start-up failure box.
QString startupFailureText(const std::exception& error, const QString& moduleName);

// Runs the whole program: creates the windows, shows the splash, runs the event
// loop. Returns 0 after a normal end, 1 after a start-up failure.
int run();

} // namespace VeloSQL
