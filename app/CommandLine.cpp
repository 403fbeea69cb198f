#include "app/CommandLine.h"

#include "engine/Databases.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace CommandLine
{

namespace
{

// The argument as it was typed, for an option that the parser names without its dashes.
QString typed(const QStringList& arguments, const QString& name)
{
    for (const QString& argument : arguments.mid(1)) {
        const QString bare = argument.section(QLatin1Char('='), 0, 0);
        if (bare == QLatin1Char('-') + name || bare == QStringLiteral("--") + name)
            return argument;
    }
    return name;
}

// The first option given a value, which none of the program's options takes.
QString optionWithValue(const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1))
        if (argument.startsWith(QLatin1Char('-')) && argument.contains(QLatin1Char('=')))
            return argument;
    return arguments.mid(1).join(QLatin1Char(' '));
}

Decision refusal(const QString& what, const QString& argument)
{
    return { Action::Refuse,
        QStringLiteral("VeloSQL : %1 : « %2 » ; VeloSQL --help donne les options.\n").arg(what, argument) };
}

bool writeAll(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

} // namespace

Decision decide(const QStringList& arguments, bool qtOptionsTaken)
{
    QCommandLineParser parser;
    // "-reverse", one of Qt's options, is one word, never -r -e -v...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(QStringList { QStringLiteral("v"), QStringLiteral("version") });
    parser.addOption(help);
    parser.addOption(version);
    const bool understood = parser.parse(arguments);
    if ((!understood || !parser.positionalArguments().isEmpty()) && !qtOptionsTaken)
        return { Action::Undecided, {} };
    if (!parser.unknownOptionNames().isEmpty())
        return refusal(QStringLiteral("option inconnue"), typed(arguments, parser.unknownOptionNames().constFirst()));
    if (!understood)
        return refusal(QStringLiteral("cette option ne prend pas de valeur"), optionWithValue(arguments));
    if (!parser.positionalArguments().isEmpty())
        return refusal(QStringLiteral("argument inattendu"), parser.positionalArguments().constFirst());
    if (parser.isSet(help))
        return { Action::Help, helpText() };
    if (parser.isSet(version))
        return { Action::Version, versionText() };
    return {};
}

QStringList arguments(int argc, char* argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

int answer(const Decision& decision)
{
    if (decision.action == Action::Refuse) {
        writeAll(stderr, decision.text);
        return 2;
    }
    // An answer that did not reach its reader is no success.
    if (!writeAll(stdout, decision.text)) {
        writeAll(stderr, QStringLiteral("VeloSQL : écriture impossible sur la sortie standard.\n"));
        return 1;
    }
    return 0;
}

QString helpText()
{
    // The folders are named as the program finds them, before its application object exists.
    QCoreApplication::setApplicationName(QStringLiteral("VeloSQL"));
    return QStringLiteral("Usage : VeloSQL [option]\n"
                          "Requêtes SQL ad hoc sur la base de données du cabinet, dans la fenêtre « Requêtes SQL ».\n"
                          "Sans option, VeloSQL ouvre ses fenêtres sur la base de l'alias Velorin.\n"
                          "\n"
                          "Options :\n"
                          "  -h, --help     affiche cette aide et quitte\n"
                          "  -v, --version  affiche la version et quitte\n"
                          "Les options de Qt (-platform, -style, -reverse...) sont acceptées.\n"
                          "\n"
                          "Alias des bases : %1\n"
                          "Base de démonstration (alias Velorin sans section) : %2\n")
        .arg(QDir::toNativeSeparators(Databases::aliasesFile()),
            QDir::toNativeSeparators(Databases::defaultDatabaseFile(QStringLiteral("Velorin"))));
}

QString versionText()
{
    return QStringLiteral("VeloSQL " VELOSQL_VERSION "\n");
}

} // namespace CommandLine
