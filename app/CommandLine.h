#pragma once

#include <QString>
#include <QStringList>

// The program's command line: --help and --version are answered on standard output,
// anything else that the program does not know is refused on standard error. Read
// before the application object exists, so that answering needs no display; what
// looks unknown then may be one of Qt's own options (-platform, -style...), which
// only the application object knows: the line is read again once it has taken them.
namespace CommandLine
{

enum class Action {
    Start, // no option: the program starts as usual
    Help, // answer on standard output, exit status 0
    Version,
    Refuse, // one line on standard error, exit status 2
    Undecided, // read again once Qt has taken its own options
};

struct Decision {
    Action action = Action::Start;
    QString text; // the answer, or the refusal's line; each ends with a line break
};

// arguments: the program's name first. qtOptionsTaken: Qt's options are no longer in
// them, so every argument left is the program's; otherwise an argument that is not
// the program's leaves the decision to the second reading.
Decision decide(const QStringList& arguments, bool qtOptionsTaken);

// The arguments as main() received them, before any application object exists.
QStringList arguments(int argc, char* argv[]);

// Writes the decision's text where it belongs and gives the exit status.
int answer(const Decision& decision);

QString helpText();
QString versionText();

} // namespace CommandLine
