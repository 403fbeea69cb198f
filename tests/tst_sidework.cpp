#include "platform/SideWork.h"

#include <QTest>
#include <climits>
#include <stdexcept>
#include <vector>

// Work beside the window's thread: the results in order, a job's failure with its
// job, a stop heard by every job, progress called on the waiting thread only.
class TestSideWork : public QObject
{
    Q_OBJECT
private slots:
    void jobsEndAsTheWaitSays_data();
    void jobsEndAsTheWaitSays();
};

void TestSideWork::jobsEndAsTheWaitSays_data()
{
    QTest::addColumn<int>("steps"); // reports a job makes before its result
    QTest::addColumn<int>("failing"); // the job that throws, -1 for none
    QTest::addColumn<int>("stopTurn"); // the turn at which progress stops, -1 for none
    QTest::addColumn<bool>("throwing"); // progress throws instead of answering false
    QTest::newRow("results in order") << 3 << -1 << -1 << false;
    QTest::newRow("a failing job reported with it, the others kept") << 3 << 5 << -1 << false;
    QTest::newRow("stop honoured by jobs that would run on") << INT_MAX << -1 << 4 << false;
    QTest::newRow("what progress throws comes after the jobs end") << INT_MAX << -1 << 4 << true;
}

void TestSideWork::jobsEndAsTheWaitSays()
{
    QFETCH(int, steps);
    QFETCH(int, failing);
    QFETCH(int, stopTurn);
    QFETCH(bool, throwing);
    constexpr int kJobs = 8;
    SideWork work(2); // fewer threads than jobs: the rest wait their turn
    std::vector<std::future<int>> results;
    for (int job = 0; job < kJobs; ++job) {
        results.push_back(work.start([&work, job, steps, failing] {
            for (int s = 0; s < steps && work.report(); ++s) { }
            if (job == failing)
                throw std::runtime_error("job " + std::to_string(job));
            return job * 10;
        }));
    }
    int turns = 0;
    bool onThisThread = true;
    bool finished = false;
    try {
        finished = work.wait(std::chrono::milliseconds(5), [&] {
            onThisThread = onThisThread && QThread::currentThread() == thread();
            if (++turns == stopTurn && throwing)
                throw std::runtime_error("progress");
            return turns != stopTurn;
        });
        QVERIFY(!throwing);
    } catch (const std::runtime_error& e) {
        QVERIFY(throwing);
        QCOMPARE(e.what(), "progress");
    }
    QVERIFY(onThisThread);
    QCOMPARE(finished, stopTurn < 0);
    QCOMPARE(work.stopping().load(), stopTurn >= 0);
    for (int job = 0; job < kJobs; ++job) {
        if (job == failing)
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, results[size_t(job)].get());
        else
            QCOMPARE(results[size_t(job)].get(), job * 10);
    }
}

QTEST_GUILESS_MAIN(TestSideWork)
#include "tst_sidework.moc"
