// The background worker: results arrive on the owner's thread, come from the cache the
// second time, and a cancelled or superseded job never reports.

#include "tests/media/analysis/testsound.h"

#include "media/analysis/analysisworker.h"
#include "media/analysis/jobthreads.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace vk {
namespace {

struct Received {
    quint64 job = 0;
    QString path;
    AudioAnalysis analysis;
    bool fromCache = false;
    QThread* thread = nullptr;
};

class AnalysisWorkerJobs : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::EnsureCoreApp("analysis_tests");
        m_worker = std::make_unique<AnalysisWorker>(AnalysisCache(m_dir.filePath(QStringLiteral("cache"))));
        QObject::connect(m_worker.get(), &AnalysisWorker::finished,
                         [this](quint64 job, const QString& path, const AudioAnalysis& a, bool fromCache) {
                             m_results.push_back({job, path, a, fromCache, QThread::currentThread()});
                         });
        QObject::connect(m_worker.get(), &AnalysisWorker::progress, [this](quint64 job, double f) {
            m_progress.push_back({job, f});
        });
    }
    // Lets every thread end and every result posted by them arrive.
    void settle()
    {
        ASSERT_TRUE(testsupport::PumpUntil([this] { return m_worker->threadCount() == 0; }));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QString file(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
    std::unique_ptr<AnalysisWorker> m_worker;
    std::vector<Received> m_results;
    std::vector<std::pair<quint64, double>> m_progress;
};

TEST_F(AnalysisWorkerJobs, DeliversOnTheOwnersThreadThenFromTheCache)
{
    const QString path = file("clicks.wav");
    const std::vector<double> clicks = testsound::writeClicks(path, 120.0, 20.0);
    const quint64 job = m_worker->start(path);
    EXPECT_TRUE(m_worker->isBusy());
    ASSERT_TRUE(testsupport::PumpUntil([this] { return !m_results.empty(); }));
    const Received r = m_results.front();
    EXPECT_EQ(r.job, job);
    EXPECT_EQ(r.path, path);
    EXPECT_FALSE(r.fromCache);
    EXPECT_EQ(r.thread, QThread::currentThread());
    EXPECT_GE(testsound::fMeasure(clicks, r.analysis.beatsMs), 0.9);
    EXPECT_FALSE(m_worker->isBusy());
    ASSERT_FALSE(m_progress.empty());
    EXPECT_DOUBLE_EQ(m_progress.back().second, 1.0);
    for (size_t i = 1; i < m_progress.size(); ++i)
        EXPECT_LE(m_progress[i - 1].second, m_progress[i].second);

    // The same sound again: from the cache, with the same beats.
    const quint64 again = m_worker->start(path);
    ASSERT_TRUE(testsupport::PumpUntil([this] { return m_results.size() == 2; }));
    EXPECT_EQ(m_results[1].job, again);
    EXPECT_TRUE(m_results[1].fromCache);
    EXPECT_EQ(m_results[1].analysis.beatsMs, r.analysis.beatsMs);
    EXPECT_EQ(m_results[1].analysis.downbeatsMs, r.analysis.downbeatsMs);

    // A sound with no beats reports that too, with its reason.
    testsound::writeSilence(file("quiet.wav"), 6.0);
    m_worker->start(file("quiet.wav"));
    ASSERT_TRUE(testsupport::PumpUntil([this] { return m_results.size() == 3; }));
    EXPECT_FALSE(m_results[2].analysis.hasBeats());
    EXPECT_EQ(m_results[2].analysis.reason, QStringLiteral("Silence"));
}

TEST_F(AnalysisWorkerJobs, ANewClipCancelsTheRunningOne)
{
    const QString longer = file("long.wav");
    const QString shorter = file("short.wav");
    testsound::writeClicks(longer, 120.0, 120.0);
    const std::vector<double> clicks = testsound::writeClicks(shorter, 90.0, 15.0);
    const quint64 first = m_worker->start(longer);
    const quint64 second = m_worker->start(shorter);
    EXPECT_GT(second, first);
    ASSERT_TRUE(testsupport::PumpUntil([this] { return !m_results.empty(); }));
    settle();
    ASSERT_EQ(m_results.size(), 1u);
    EXPECT_EQ(m_results[0].job, second);
    EXPECT_EQ(m_results[0].path, shorter);
    EXPECT_GE(testsound::fMeasure(clicks, m_results[0].analysis.beatsMs), 0.9);
    for (const auto& p : m_progress)
        EXPECT_EQ(p.first, second);
    // The cancelled job stored nothing.
    EXPECT_FALSE(QFile::exists(
        AnalysisCache(m_dir.filePath(QStringLiteral("cache"))).pathFor(AnalysisCache::contentKey(longer))));
}

TEST_F(AnalysisWorkerJobs, CancelStopsTheWorkerAndNothingArrives)
{
    const QString path = file("long.wav");
    testsound::writeClicks(path, 120.0, 120.0);
    m_worker->start(path);
    m_worker->cancel();
    EXPECT_FALSE(m_worker->isBusy());
    settle();
    EXPECT_EQ(m_worker->threadCount(), 0);
    EXPECT_TRUE(m_results.empty());
    EXPECT_TRUE(m_progress.empty());
    EXPECT_FALSE(
        QFile::exists(AnalysisCache(m_dir.filePath(QStringLiteral("cache"))).pathFor(AnalysisCache::contentKey(path))));

    // Destroyed mid-analysis: it waits for its thread and nothing is left running.
    m_worker->start(path);
    m_worker.reset();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_results.empty());
}

// The job threads under both workers: a new job cancels the ones before it, whose
// threads end on their own and are counted until then; destruction waits for every one.
TEST(JobThreadsTest, ANewJobCancelsTheOldOnesAndDestructionWaitsForAll)
{
    std::atomic<int> ended{0};
    std::atomic<bool> release{false};
    auto untilCancelled = [&](const JobThreads::Flag& cancel) {
        while (!cancel->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ended.fetch_add(1);
    };
    {
        JobThreads threads;
        threads.start(untilCancelled);
        EXPECT_EQ(threads.running(), 1);
        threads.start(untilCancelled);
        ASSERT_TRUE(testsupport::PumpUntil([&] { return ended.load() == 1; }, 10000));
        EXPECT_TRUE(testsupport::PumpUntil([&] { return threads.running() == 1; }, 10000));
        // A job that is not cancelled runs to its own end.
        threads.start([&](const JobThreads::Flag&) {
            while (!release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ended.fetch_add(1);
        });
        ASSERT_TRUE(testsupport::PumpUntil([&] { return ended.load() == 2; }, 10000));
        EXPECT_EQ(threads.running(), 1);
        release.store(true);
        ASSERT_TRUE(testsupport::PumpUntil([&] { return threads.running() == 0; }, 10000));
        threads.start(untilCancelled);
    }
    // Leaving the scope cancelled the last job and waited for it.
    EXPECT_EQ(ended.load(), 4);
}

} // namespace
} // namespace vk
