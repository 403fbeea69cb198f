#include "engine/AliasFile.h"

#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace
{

[[noreturn]] void unreadable(const QString& file, const QString& reason)
{
    throw EDatabaseError(
        QStringLiteral("Fichier des alias illisible : %1 (%2)").arg(QDir::toNativeSeparators(file), reason));
}

// Filled in one pass, so that a path holding "%2" stays as it is.
[[noreturn]] void malformed(const QString& file, int line, const QString& detail = {})
{
    throw EDatabaseError(QStringLiteral("Fichier des alias mal formé : %1 (ligne %2%3)")
                             .arg(QDir::toNativeSeparators(file), QString::number(line),
                                 detail.isEmpty() ? QString() : QStringLiteral(" : ") + detail));
}

// A value wholly in double quotes, as some write every value, stands for what they hold.
QString unquoted(const QString& value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

AliasFile AliasFile::read(const QString& file)
{
    if (!QFileInfo::exists(file))
        unreadable(file, QStringLiteral("lien vers un fichier absent"));
    if (QFileInfo(file).isDir())
        unreadable(file, QStringLiteral("c'est un dossier"));
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        unreadable(file, f.error() == QFileDevice::PermissionsError ? QStringLiteral("accès refusé") : f.errorString());
    const QByteArray content = f.readAll();
    if (f.error() != QFileDevice::NoError)
        unreadable(file, QStringLiteral("lecture impossible"));
    return parse(content, file);
}

AliasFile AliasFile::parse(QByteArrayView content, const QString& file)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        content = content.sliced(3);
    AliasFile aliases;
    // Where each section began, by its name in small letters: one lookup a section, so
    // that a file of many sections reads in linear time.
    QHash<QString, int> sectionLines;
    // Before the first section there is no alias to give a key to: such a key is a slip
    // (a missing "[Velorin]" line), refused like any other line not understood.
    Section* current = nullptr;
    int number = 0;
    while (!content.isEmpty()) {
        ++number;
        const qsizetype end = content.indexOf('\n');
        const QByteArrayView raw = end < 0 ? content : content.first(end);
        content = end < 0 ? QByteArrayView() : content.sliced(end + 1);
        const QByteArrayView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(line);
        if (utf8.hasError())
            malformed(file, number, QStringLiteral("texte qui n'est pas en UTF-8"));
        if (text.startsWith(QLatin1Char('['))) {
            const QString name = text.mid(1, text.size() - 2).trimmed();
            if (!text.endsWith(QLatin1Char(']')) || name.isEmpty())
                malformed(file, number);
            const auto first = sectionLines.constFind(name.toLower());
            if (first != sectionLines.cend())
                malformed(file, number,
                    QStringLiteral("section « [%1] » répétée, déjà en ligne %2").arg(name, QString::number(*first)));
            sectionLines.insert(name.toLower(), number);
            aliases.m_sections.append(Section { name, number, {} });
            current = &aliases.m_sections.last();
            continue;
        }
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        const QString key = text.left(equals).trimmed().toLower();
        if (equals < 0 || key.isEmpty())
            malformed(file, number);
        if (!current)
            malformed(file, number, QStringLiteral("clé « %1 » hors de toute section").arg(text.left(equals).trimmed()));
        if (current->keys.contains(key))
            malformed(file, number, QStringLiteral("clé « %1 » répétée").arg(text.left(equals).trimmed()));
        current->keys.insert(key, unquoted(text.mid(equals + 1).trimmed()));
    }
    return aliases;
}

std::optional<AliasFile::Keys> AliasFile::section(const QString& alias) const
{
    for (const Section& s : m_sections)
        if (s.name.compare(alias, Qt::CaseInsensitive) == 0)
            return s.keys;
    return std::nullopt;
}
