#include "app/CommandLine.h"
#include "app/VeloSQL.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // --help and --version are answered before the application object exists: no
    // display is needed, and no window is ever made for them.
    CommandLine::Decision decision = CommandLine::decide(CommandLine::arguments(argc, argv), false);
    if (decision.action == CommandLine::Action::Help || decision.action == CommandLine::Action::Version)
        return CommandLine::answer(decision);
    QApplication app(argc, argv);
    if (decision.action == CommandLine::Action::Undecided) {
        // Qt has taken its own options: what is left is the program's, or refused.
        decision = CommandLine::decide(QCoreApplication::arguments(), true);
        if (decision.action != CommandLine::Action::Start)
            return CommandLine::answer(decision);
    }
    return VeloSQL::run();
}
