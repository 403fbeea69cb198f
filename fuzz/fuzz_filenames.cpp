// The file names of the text export.
//
// Input: a file name in UTF-8. The text file's name is the name itself when it has
// an extension of its own (a full stop after the last "\", "/" or ":"), else the name
// and ".txt"; naming it again changes nothing. The side file's name is the text
// file's with its extension replaced by "mem", in the same folder under the same
// base name, whichever of the two names the export started from.
//
// A name that makes one file in a scratch folder is then exported for real: when
// the two names would reach the same file (the same up to letter case), the export
// is refused with its message and creates nothing; otherwise both files are written.

#include "FuzzSupport.h"
#include "export/kdb2text.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

namespace
{

std::unique_ptr<QTemporaryDir> scratch;

bool hasOwnExtension(const QString& name)
{
    const qsizetype folder = qMax(qMax(name.lastIndexOf(u'\\'), name.lastIndexOf(u'/')), name.lastIndexOf(u':'));
    return name.lastIndexOf(u'.') > folder;
}

void checkNames(const QString& name)
{
    const QString context = QStringLiteral("name %1").arg(shownText(name));
    const QString text = textFileName(name);
    FUZZ_CHECK(text == (hasOwnExtension(name) ? name : name + QStringLiteral(".txt")), context);
    FUZZ_CHECK(textFileName(text) == text, context);
    const QString side = sideFileName(name);
    FUZZ_CHECK(sideFileName(text) == side, context);
    const QString base = text.left(text.lastIndexOf(u'.') + 1);
    FUZZ_CHECK(side == base + QStringLiteral("mem"), QStringLiteral("%1\nside %2").arg(context, side));
}

// A name that is one file in the scratch folder, short enough for the system.
bool isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return false;
    return QFile::encodeName(sideFileName(name)).size() <= 250 && QFile::encodeName(textFileName(name)).size() <= 250;
}

void checkExport(const QString& name)
{
    ColumnInfo blob;
    blob.name = QStringLiteral("PHOTO");
    blob.type = ftBlob;
    ColumnInfo string;
    string.name = QStringLiteral("NOM");
    string.type = ftString;
    FuzzCell bytes;
    bytes.cls = CellClass::Blob;
    bytes.bytes = "x";
    FuzzCell value;
    value.cls = CellClass::Text;
    value.bytes = "v";
    MemoryDataSet dataSet({ blob, string }, { { bytes, value } });
    TKDatasetToText exporter;
    exporter.setDataset(&dataSet);

    const QDir folder(scratch->path());
    // Joined by hand: QDir::filePath takes a name that starts with ":" for a resource path.
    const QString path = scratch->path() + u'/' + name;
    const QString text = textFileName(path);
    const QString side = sideFileName(path);
    const QString context = QStringLiteral("name %1\ntext %2\nside %3").arg(shownText(name), text, side);
    const bool refused = text.compare(side, Qt::CaseInsensitive) == 0;
    try {
        exporter.ExportToFile(path);
        FUZZ_CHECK(!refused, QStringLiteral("not refused\n%1").arg(context));
    } catch (const EInOutError& e) {
        FUZZ_CHECK(refused && e.message().startsWith(QStringLiteral("Ne peut exporter dans ")),
            QStringLiteral("%1\n%2").arg(e.message(), context));
    }
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (refused) {
        FUZZ_CHECK(files.isEmpty(), QStringLiteral("left %1\n%2").arg(files.join(u' '), context));
        return;
    }
    QFile textFile(text);
    QFile sideFile(side);
    FUZZ_CHECK(files.size() == 2 && textFile.open(QIODevice::ReadOnly) && sideFile.open(QIODevice::ReadOnly),
        QStringLiteral("files %1\n%2").arg(files.join(u" | "), context));
    FUZZ_CHECK(textFile.readAll() == "\"1\"\t\"v\"\r\n" && sideFile.readAll() == "x", context);
    FUZZ_CHECK(textFile.remove() && sideFile.remove(), context);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    // A folder in memory where there is one: the exports flush their files to disk.
    const QString memory = QStringLiteral("/dev/shm");
    scratch = std::make_unique<QTemporaryDir>(
        (QFileInfo(memory).isDir() ? memory : QDir::tempPath()) + QStringLiteral("/velosql-fuzz-XXXXXX"));
    if (!scratch->isValid())
        fuzzFail(__FILE__, __LINE__, "scratch->isValid()", scratch->errorString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    checkNames(name);
    if (isPlainFileName(name))
        checkExport(name);
    return 0;
}
