// A program built on the data and engine floors alone: runs a statement on the default
// database of an alias and prints each row's texts, tab-separated. Its libraries are
// what tst_floors checks: none of Qt Gui, Widgets or PrintSupport.
#include "data/Query.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: velosql_enginereader <alias> <statement>\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    try {
        TQuery query;
        query.setDatabaseName(arguments[1]);
        query.setSQL(arguments[2]);
        query.open();
        for (query.first(); !query.eof(); query.next()) {
            QStringList texts;
            for (int i = 0; i < query.fieldCount(); ++i)
                texts += query.field(i)->text();
            std::puts(texts.join(QLatin1Char('\t')).toUtf8().constData());
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
