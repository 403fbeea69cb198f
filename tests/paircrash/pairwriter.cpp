// Writes "nouveau <name>" into two files and puts them in place together, as the text
// export does with its text and side files, and kills itself with SIGKILL at the
// replacement's step the test names (1 for the first). Arguments: the two files and
// the step. Says "steps <n>" on its standard output when it lived to the end.
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/ReplacementRecord.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace
{
int s_steps = 0;
int s_killAt = 0;

void step()
{
    if (++s_steps != s_killAt)
        return;
#ifdef Q_OS_WIN
    std::_Exit(137);
#else
    std::raise(SIGKILL);
#endif
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: velosql_pairwriter <first file> <second file> <step>\n");
        return 2;
    }
    s_killAt = arguments[3].toInt();
    setReplacementStepHook(&step);
    try {
        AtomicFile first(arguments[1]);
        AtomicFile second(arguments[2]);
        first.write(QByteArray("nouveau ") + QFileInfo(arguments[1]).fileName().toUtf8());
        second.write(QByteArray("nouveau ") + QFileInfo(arguments[2]).fileName().toUtf8());
        AtomicFile* const both[] = { &first, &second };
        AtomicFile::commitTogether(both);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("steps %d\n", s_steps);
    return 0;
}
