#include "Golden.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <csignal>

// The remembered list when the program dies while it posts the list: another process
// posts it over and over and is killed at a random moment, a hundred times. The list
// is then always the old text or the new one, and the database file is sound.
class TestListCrash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void killedPostLeavesOldOrNewList();
};

namespace
{

constexpr int kRuns = 100;
// Kills land up to this long after the first post begins: a few posts' time.
constexpr int kLatestKillMicroseconds = 150000;

#ifndef Q_OS_WIN
// A list of count statements, large enough that a post writes many pages.
QString listOf(const QString& word, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("SELECT %1, %2 FROM PaBase ORDER BY NOM\r\n").arg(word).arg(i);
    return text;
}
#endif

} // namespace

void TestListCrash::killedPostLeavesOldOrNewList()
{
#ifdef Q_OS_WIN
    QSKIP("kills the child with SIGKILL");
#else
    TestDatabase db;
    const QString oldList = listOf(QStringLiteral("ancien"), 12000);
    const QString newList = listOf(QStringLiteral("nouveau"), 12000);
    db.exec(QStringLiteral("UPDATE ListBase SET TTTYPES = '%1'").arg(oldList));
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("ancien.txt"));
    const QString newFile = dir.filePath(QStringLiteral("nouveau.txt"));
    QVERIFY(writeFile(oldFile, oldList.toUtf8()));
    QVERIFY(writeFile(newFile, newList.toUtf8()));

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("random kill moments from seed %u", seed);
    QRandomGenerator random(seed);
    int interrupted = 0; // kills that left a write transaction's journal behind
    int renewed = 0;
    for (int run = 0; run < kRuns; ++run) {
        QProcess child;
        child.start(QStringLiteral(LISTPOSTER_EXECUTABLE), { QCoreApplication::applicationName(), oldFile, newFile });
        QVERIFY2(child.waitForReadyRead(30000), child.readAllStandardError().constData());
        QCOMPARE(child.readAllStandardOutput(), QByteArray("posting\n"));
        QThread::usleep(random.bounded(kLatestKillMicroseconds));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError().constData());

        interrupted += QFileInfo(db.path() + QStringLiteral("-journal")).size() > 0;
        // Reading rolls back what the killed post had begun.
        const QString list = db.value(QStringLiteral("SELECT TTTYPES FROM ListBase")).toString();
        QVERIFY2(list == oldList || list == newList,
            qPrintable(QStringLiteral("run %1: a list of %2 characters").arg(run).arg(list.size())));
        renewed += list == newList;
        QCOMPARE(db.value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    }
    qInfo("%d kills in the middle of a post, %d lists left new", interrupted, renewed);
    // Some kills must land inside a post for the test to prove anything.
    QVERIFY(interrupted > 0);
#endif
}

QTEST_MAIN(TestListCrash)
#include "tst_listcrash.moc"
