// The frame timer's cost and precision on the real clock: its spin-with-yield loop against a
// peer that sleeps until 1 ms before each deadline and then spins. Each runs a 16 ms interval for
// 2 s, handing every interval to this (UI) thread, which records when it arrives. Reported: the
// timer thread's CPU seconds per wall second and the p50/p99 error of the intervals as they
// reach the UI thread, over three repetitions (median, minimum beside it).
//
// The UI thread blocks in CheckSynchronize between calls, so the process's CPU time less this
// thread's is the timer thread's.

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "rtl/method.h"
#include "rtl/threads.h"
#include "support/bench_setup.h"
#include "utils/Vantrel.Utils.Timer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int IntervalMs = 16;
constexpr auto RunTime = std::chrono::seconds(2);
constexpr int Repetitions = 3;
// Fewer intervals than this in 2 s means the loop did not run as measured.
constexpr size_t MinIntervals = 100;

double CpuSeconds(clockid_t AClock) {
  timespec time{};
  clock_gettime(AClock, &time);
  return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

struct TResult {
  double CpuPerWall = 0;
  double P50 = 0;
  double P99 = 0;
  size_t Intervals = 0;
};

// Records the arrival of each handed-over interval on the UI thread.
class TArrivals : public rtl::TObject {
  RTL_CLASS(TArrivals, rtl::TObject)
public:
  void OnTimer(rtl::TObject*) { Times.push_back(Clock::now()); }
  std::vector<Clock::time_point> Times;
};
RTL_DEFINE_CLASS(TArrivals, "Bench.FrameTimer")

// Services the hand-overs for the run time and measures the other threads' CPU meanwhile.
template <class TStart, class TStop> TResult Measure(TArrivals& AArrivals, TStart AStart, TStop AStop) {
  AArrivals.Times.clear();
  AArrivals.Times.reserve(512);
  const double process0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double main0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  const auto start = Clock::now();
  AStart();
  while (Clock::now() - start < RunTime)
    rtl::CheckSynchronize(50);
  AStop();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double other = (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0) - (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - main0);
  TResult result;
  result.CpuPerWall = other / wall;
  std::vector<double> errors;
  for (size_t i = 1; i < AArrivals.Times.size(); ++i)
    errors.push_back(std::chrono::duration<double, std::milli>(AArrivals.Times[i] - AArrivals.Times[i - 1]).count() -
                     IntervalMs);
  result.Intervals = errors.size();
  if (!errors.empty()) {
    std::sort(errors.begin(), errors.end());
    result.P50 = errors[errors.size() / 2];
    result.P99 = errors[std::min(errors.size() - 1, errors.size() * 99 / 100)];
  }
  return result;
}

TResult RunSpin(TArrivals& AArrivals) {
  rtl::TOwned<vantrel::TVantrelTimer> timer(rtl::New<vantrel::TVantrelTimer>());
  timer->SetInterval(IntervalMs);
  timer->SetOnTimer({&AArrivals, &TArrivals::OnTimer});
  return Measure(AArrivals, [&] { timer->SetActive(true); }, [&] { timer.reset(); });
}

// The peer: the same hand-over, but the thread sleeps until 1 ms before the deadline.
TResult RunSleepThenSpin(TArrivals& AArrivals) {
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread worker;
  auto body = [&] {
    auto due = Clock::now() + std::chrono::milliseconds(IntervalMs);
    while (!stop) {
      std::this_thread::sleep_until(due - std::chrono::milliseconds(1));
      while (Clock::now() < due)
        std::this_thread::yield();
      due = Clock::now() + std::chrono::milliseconds(IntervalMs);
      if (!stop)
        rtl::TThread::Synchronize(nullptr, [&] { AArrivals.OnTimer(nullptr); });
    }
    done = true;
  };
  return Measure(
      AArrivals, [&] { worker = std::thread(body); },
      [&] {
        stop = true;
        // The worker may be waiting for one last hand-over.
        while (!done)
          rtl::CheckSynchronize(1);
        worker.join();
      });
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

double Min(const std::vector<double>& AValues) {
  return *std::min_element(AValues.begin(), AValues.end());
}

} // namespace

int main() {
  vbench::SetAllocatorRegime();
  TArrivals arrivals;
  struct TSide {
    const char* Name;
    TResult (*Run)(TArrivals&);
    std::vector<double> Cpu, P50, P99;
  } sides[] = {{"spin with yield (the timer)", RunSpin, {}, {}, {}},
               {"sleep, then spin the last 1 ms (peer)", RunSleepThenSpin, {}, {}, {}}};
  bool ran = true;
  for (int repetition = 0; repetition < Repetitions; ++repetition)
    for (TSide& side : sides) {
      const TResult result = side.Run(arrivals);
      ran = ran && result.Intervals >= MinIntervals;
      side.Cpu.push_back(result.CpuPerWall);
      side.P50.push_back(result.P50);
      side.P99.push_back(result.P99);
    }
  std::printf("frame timer, %d ms interval, %d runs of 2 s each (median, minimum in brackets):\n", IntervalMs,
              Repetitions);
  for (const TSide& side : sides)
    std::printf("  %-40s CPU %.3f (%.3f) s per wall s, interval error p50 %.3f (%.3f) ms, p99 %.3f (%.3f) ms\n",
                side.Name, Median(side.Cpu), Min(side.Cpu), Median(side.P50), Min(side.P50), Median(side.P99),
                Min(side.P99));
  const double ratio = Median(sides[0].Cpu) / std::max(Median(sides[1].Cpu), 1e-9);
  std::printf("  CPU ratio spin / peer: %.1f\n", ratio);
  if (!ran) {
    std::printf("FAILED: a run handed over fewer than %zu intervals\n", MinIntervals);
    return 1;
  }
  return 0;
}
