#include "FileState.h"

#include "FileKinds.h"
#include "Golden.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

QMap<QString, QByteArray> folderSnapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    const QDir dir(folder);
    for (const QFileInfo& info :
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (info.isSymbolicLink())
            entries.insert(info.fileName(), "-> " + QFile::encodeName(info.symLinkTarget()));
        else if (info.isDir())
            entries.insert(info.fileName(), "<folder>");
        else if (const QString kind = fileKind(info.filePath()); kind != u"file")
            entries.insert(info.fileName(), '<' + kind.toUtf8() + '>');
        else
            entries.insert(info.fileName(), fileBytes(info.filePath()));
    }
    return entries;
}

char* toString(const FileOwner& owner)
{
    return qstrdup(QByteArray("uid " + QByteArray::number(owner.uid) + ", gid " + QByteArray::number(owner.gid)
        + ", mode " + QByteArray::number(owner.mode, 8))
                       .constData());
}

#ifndef Q_OS_WIN

FileOwner ownerOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return { uint(-1), uint(-1), 0 };
    return { uint(info.st_uid), uint(info.st_gid), uint(info.st_mode & 07777) };
}

bool setOwner(const QString& path, const FileOwner& owner)
{
    const QByteArray name = QFile::encodeName(path);
    return ::chown(name.constData(), uid_t(owner.uid), gid_t(owner.gid)) == 0
        && ::chmod(name.constData(), mode_t(owner.mode)) == 0;
}

bool hardLink(const QString& existing, const QString& name)
{
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(name).constData()) == 0;
}

bool mayGiveFilesAway()
{
    return ::geteuid() == 0;
}

#else

FileOwner ownerOf(const QString&)
{
    return { uint(-1), uint(-1), 0 };
}

bool setOwner(const QString&, const FileOwner&)
{
    return false;
}

bool hardLink(const QString& existing, const QString& name)
{
    return CreateHardLinkW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(name).utf16()),
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(existing).utf16()), nullptr);
}

bool mayGiveFilesAway()
{
    return false;
}

#endif
