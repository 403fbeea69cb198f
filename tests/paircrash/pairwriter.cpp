// Writes "nouveau <name>" into files and puts them in place together, as the text
// export does with its text and side files, and kills itself with SIGKILL at the
// replacement's step the test names (1 for the first). Arguments: the step, then the
// files. Says "steps <n>" on its standard output when it lived to the end.
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/ReplacementRecord.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

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
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: velosql_pairwriter <step> <file>...\n");
        return 2;
    }
    s_killAt = arguments[1].toInt();
    setReplacementStepHook(&step);
    try {
        std::vector<std::unique_ptr<AtomicFile>> files;
        std::vector<AtomicFile*> together;
        for (const QString& name : arguments.mid(2)) {
            files.push_back(std::make_unique<AtomicFile>(name));
            files.back()->write(QByteArray("nouveau ") + QFileInfo(name).fileName().toUtf8());
            together.push_back(files.back().get());
        }
        AtomicFile::commitTogether(together);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("steps %d\n", s_steps);
    return 0;
}
