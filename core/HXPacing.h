#pragma once

// Every wait of the engine, in one place. These are the Classic pacing values the
// program was designed around; every sleep that uses them must be interruptible
// (a condition variable wait or a poll with a deadline), so stopping, cancelling
// and shutting down never wait out a full step.

#include <chrono>

namespace hx::pacing
{

using namespace std::chrono_literals;

// Socket layer: one polling cycle of a wait, and the pause after each receive of a
// body block and after each header line.
inline constexpr auto kSocketPollStep = 5ms;
inline constexpr auto kSocketReceivePause = 5ms;
inline constexpr auto kHeaderLinePause = 5ms;
// Time-out of every socket wait when the owner sets none, and the one a transfer
// slot sets before each fetch (seconds).
inline constexpr int kDefaultTimeOutSeconds = 60;
inline constexpr int kTransferTimeOutSeconds = 300;

// Transfer slots: while a stop or the end of a transfer waits for the transfer
// thread, the thread's hand-overs to the owner thread are served at this step.
inline constexpr auto kTransferServiceStep = 5ms;

// Proxy detection: a helper program (gsettings) that has not answered by then is
// ended and detection carries on as if it had found nothing.
inline constexpr auto kProxyProgramTimeLimit = 2000ms;

// Dispatcher: its cycle sleeps in steps of this length (five per cycle).
inline constexpr auto kDispatcherSleepStep = 200ms;

// Parse worker: sleeps between two pages, in steps, and the status-line waits
// around loading and saving a page.
inline constexpr auto kParseSleepStep = 100ms;
inline constexpr int kParseSleepSteps = 5;
inline constexpr auto kParseStatusWait = 300ms;

// Schedule tick and the task runner's Zip feed.
inline constexpr auto kScheduleTickPeriod = 1000ms;
inline constexpr auto kZipFeedPeriod = 1000ms;

// Fast pacing (the default): the workers run when something happens instead of on
// fixed steps, and wait up to the Classic cycle while nothing does.
//
// The Zip feed looks at its pending files this often, and adds everything pending in
// one archive update: at once when the download has completed, and at most once per
// kFastZipBatchPeriod while it runs (each update rewrites the archive).
inline constexpr auto kFastZipFeedPeriod = 50ms;
inline constexpr auto kFastZipBatchPeriod = 1000ms;
// The queue file is written no more often than this while a crawl runs (and always
// when it stops or completes).
inline constexpr auto kFastQueueSaveInterval = 3000ms;

} // namespace hx::pacing
