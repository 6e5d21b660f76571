#include "toolkit/DWProgressDlg.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/DWWaitDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// Calls `action` on the UI thread once the active work window has been shown.
void WhenShown(const std::function<void(DWWorkDlg&)>& action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        DWWorkDlg* window = DWWorkDlg::Active();
        if (window && window->IsReady() && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(*window);
        }
    });
    timer->start();
}

// Counts up until cancelled or the limit is reached, reporting each step.
struct CountingWork {
    std::atomic<int> count{0};
    // Set once the worker has seen the pause before a call that holds it
    // (WaitWhilePaused, SetPos): the count cannot move until the pause ends.
    std::atomic<bool> held{false};
    int limit;
    explicit CountingWork(int l) : limit(l) {}
    void operator()(DWWorkDlg& window)
    {
        window.SetRange(limit);
        while (!window.IsCancelled() && count < limit) {
            if (window.PauseFlag())
                held = true;
            window.WaitWhilePaused();
            ++count;
            if (window.PauseFlag())
                held = true;
            window.SetPos(count);
            std::this_thread::sleep_for(2ms);
        }
    }
};

TEST(DWWorkDlg, WorkThatEndsBeforeTheWindowIsShownStillShowsAndClosesIt)
{
    DWWaitDlg window(nullptr, "t", "m");
    bool wasShown = false;
    QObject::connect(&window, &DWWorkDlg::messageChanged, [&] { wasShown = window.isVisible(); });
    const bool finished = window.Run([](DWWorkDlg&) {});
    EXPECT_TRUE(finished);
    EXPECT_TRUE(window.IsReady());
    EXPECT_TRUE(window.IsDone());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(DWWorkDlg::Active(), nullptr);
}

TEST(DWWorkDlg, WaitWindowCancelsAtOnceButStaysUntilTheWorkReturns)
{
    DWWaitDlg window(nullptr, "t", "m");
    std::atomic<bool> sawCancel{false};
    bool visibleAfterCancel = false;
    WhenShown([&](DWWorkDlg& w) {
        w.reject();
        visibleAfterCancel = w.isVisible();
    });
    const bool finished = window.Run([&](DWWorkDlg& w) {
        while (!w.IsCancelled())
            std::this_thread::sleep_for(1ms);
        sawCancel = true;
        std::this_thread::sleep_for(50ms);  // the window must wait for this
    });
    EXPECT_FALSE(finished);
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(visibleAfterCancel);
}

TEST(DWProgressDlg, CancelAnsweredNoGoesOnAndHoldsTheWorkerOnlyWhileAsking)
{
    DWProgressDlg window(nullptr, "t");
    CountingWork work(150);
    int asked = 0;
    int heldBefore = -1, heldAfter = -2;
    bool reachedGate = false;
    window.SetCancelQuery([&](DWProgressDlg&) {
        ++asked;
        reachedGate = halvex::test::WaitUntil([&] { return work.held.load(); });
        heldBefore = work.count;
        std::this_thread::sleep_for(80ms);  // forty steps of a worker that must not move
        heldAfter = work.count;
        return false;
    });
    WhenShown([&](DWWorkDlg& w) { static_cast<DWProgressDlg&>(w).CancelButton()->click(); });
    const bool finished = window.Run(std::ref(work));
    EXPECT_TRUE(finished);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(reachedGate);
    EXPECT_EQ(heldBefore, heldAfter) << "the worker moved while the question was open";
    EXPECT_EQ(work.count, 150);
    EXPECT_EQ(window.PercentageText(), "100%");
}

TEST(DWProgressDlg, CancelAnsweredYesStopsTheWork)
{
    DWProgressDlg window(nullptr, "t");
    CountingWork work(100000);
    window.SetCancelQuery([](DWProgressDlg&) { return true; });
    WhenShown([&](DWWorkDlg& w) { static_cast<DWProgressDlg&>(w).CancelButton()->click(); });
    EXPECT_FALSE(window.Run(std::ref(work)));
    EXPECT_LT(work.count, 100000);
}

TEST(DWProgressDlg, StopRequestEndsTheRunWithoutAQuestion)
{
    DWProgressDlg window(nullptr, "t");
    CountingWork work(100000);
    int asked = 0;
    window.SetCancelQuery([&](DWProgressDlg&) { return ++asked, false; });
    WhenShown([](DWWorkDlg& w) { w.RequestStop(); });
    EXPECT_FALSE(window.Run(std::ref(work)));
    EXPECT_TRUE(window.IsShutDown());
    EXPECT_EQ(asked, 0);
    EXPECT_LT(work.count, 100000);
}

TEST(DWProgressDlg, ReportsReachTheLabelsAndSameTextIsNotResent)
{
    DWProgressDlg window(nullptr, "t");
    int statusSignals = 0;
    QObject::connect(&window, &DWWorkDlg::messageChanged, [&] { ++statusSignals; });
    window.Run([](DWWorkDlg& w) {
        w.SetStatus("copying a");
        w.SetStatus("copying a");
        w.SetCount("1 of 2");
        w.SetRange(200);
        w.SetPos(100);
    });
    QApplication::processEvents();
    EXPECT_EQ(statusSignals, 1);
    EXPECT_EQ(window.StatusText(), "copying a");
    EXPECT_EQ(window.CountText(), "1 of 2");
    EXPECT_EQ(window.PercentageText(), "50%");
}

TEST(DWProgressBar, RangeBeyondThirtyTwoBitsKeepsItsProportion)
{
    DWProgressBar bar;
    const std::int64_t tenGiB = 10LL * 1024 * 1024 * 1024;
    bar.setRange(tenGiB);
    bar.setPosition(tenGiB / 4);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.25);
    bar.setPosition(tenGiB * 2);
    EXPECT_EQ(bar.position(), tenGiB);
    bar.setPosition(-5);
    EXPECT_EQ(bar.position(), 0);
}

TEST(DWWorkDlg, PercentText)
{
    struct Row {
        std::int64_t position, maximum;
        const char* text;
    } rows[] = {
        {0, 100, "0%"},     {50, 100, "50%"},
        {100, 100, "100%"}, {1, 3, "33%"},
        {200, 100, "100%"}, {5, 0, "0%"},
        {-3, 10, "0%"},     {40LL * 1024 * 1024 * 1024 * 1024, 80LL * 1024 * 1024 * 1024 * 1024, "50%"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DWWorkDlg::PercentText(row.position, row.maximum), row.text) << row.position << " of " << row.maximum;
}

}  // namespace
