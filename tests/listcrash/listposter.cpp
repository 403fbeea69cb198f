// Opens the settings table on the alias "Velorin", as the query window does, and
// posts its list field TTTYPES over and over, the second text then the first, until it is
// killed. Arguments: the application name whose test configuration holds the alias,
// and the two texts' files. Says "posting" on its standard output before the first post.
#include "data/Table.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <cstdio>

namespace
{
QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: velosql_listposter <application name> <first text> <second text>\n");
        return 2;
    }
    QCoreApplication::setApplicationName(arguments[1]);
    QStandardPaths::setTestModeEnabled(true);
    const QString texts[2] = { readText(arguments[2]), readText(arguments[3]) };
    try {
        TTable table(nullptr, QStringLiteral("TableSQL"));
        table.setDatabaseName(QStringLiteral("Velorin"));
        table.setTableName(QStringLiteral("ListBase.DB"));
        table.open();
        std::puts("posting");
        std::fflush(stdout);
        for (int i = 1;; ++i) {
            table.edit();
            table.FieldByName(QStringLiteral("TTTYPES"))->setAsString(texts[i % 2]);
            table.post();
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
