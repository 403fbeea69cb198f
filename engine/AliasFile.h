#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// aliases.ini as administrators write it, with a text editor, in UTF-8 (a byte order
// mark at the start is allowed). A line is blank, a comment (";" or "#" first, after
// any blanks), a [section] or a key=value pair. A value runs to the end of its line and
// is taken as written, backslashes and semicolons included, without its surrounding
// blanks; a value wholly in double quotes loses them. Sections and keys match without
// regard to letter case. A key given twice in a section, a section given twice, or a
// key before the first section, is an error naming its line: no line of the file is ever silently set aside.
class AliasFile
{
public:
    // A section's keys, their names in small letters.
    using Keys = QHash<QString, QString>;

    // Reads the file; throws EDatabaseError naming it when it cannot be read or is not
    // well formed.
    [[nodiscard]] static AliasFile read(const QString& file);
    // The same, from the file's bytes.
    [[nodiscard]] static AliasFile parse(QByteArrayView content, const QString& file);

    // The keys of the alias's section, letter case aside; none when there is no section.
    [[nodiscard]] std::optional<Keys> section(const QString& alias) const;

private:
    struct Section {
        QString name;
        int line = 0;
        Keys keys;
    };
    QList<Section> m_sections;
};
