// Times Kestrana.exe against the hand-written programs: each is started,
// its About window opened and closed, and its main window closed, in turn
// and many times over in the same Wine session, and the medians compared.
//   bench_driver.exe [--runs N] [--warmup N] [--main-only] LABEL=EXE ...
// The last program is the one measured, the first the baseline for the
// start. With three, the first has no About window and the second is the
// baseline for About, closing and memory. --main-only drives none of them
// through About.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/support.h"

namespace {

using namespace kestrana_test;

constexpr char kMainCaption[] = "Kestrana";
constexpr char kAboutCaption[] = "关于";
constexpr char kAboutButton[] = "关于(&A)";
constexpr DWORD kLimitMs = 10000;

double g_tick = 0;  // milliseconds per performance-counter tick

double now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * g_tick;
}

struct Program {
  std::string label, path;
  bool hasAbout = false;
  std::vector<double> start, about, close, peak;
  long long size = 0;
  int failures = 0;
};

BOOL CALLBACK anyUnpainted(HWND hwnd, LPARAM lParam) {
  if (IsWindowVisible(hwnd) && GetUpdateRect(hwnd, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(lParam) = true;
    return FALSE;
  }
  return TRUE;
}

// Painted: neither the window nor any of its controls waits for WM_PAINT.
bool painted(HWND hwnd) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) return false;
  bool unpainted = false;
  EnumChildWindows(hwnd, anyUnpainted, reinterpret_cast<LPARAM>(&unpainted));
  return !unpainted;
}

// The window's thread takes a sent message only in its message loop (or a
// nested one), so an answer means it is back there.
bool answers(HWND hwnd) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, kLimitMs, &result) != 0;
}

// Waits until a visible window of the process with this caption is painted
// and its loop answers; nullptr when the process ends or the time is up.
HWND waitReady(HANDLE process, DWORD pid, const char* caption) {
  const double limit = now() + kLimitMs;
  while (now() < limit) {
    HWND hwnd = findTopWindow(pid, caption, nullptr, Caption::Kept);
    if (hwnd && answers(hwnd) && painted(hwnd)) return hwnd;
    if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

bool waitGone(HANDLE process, DWORD pid, const char* caption) {
  const double limit = now() + kLimitMs;
  while (now() < limit) {
    if (!findTopWindow(pid, caption, nullptr, Caption::Kept)) return true;
    if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0) return false;
  }
  return false;
}

double peakWorkingSetKb(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.PeakWorkingSetSize) / 1024.0;
}

// One run: start, About open and closed, close. False, with a note on
// stderr, when any step did not happen.
bool runOnce(Program& p, bool record) {
  Process process;
  const double t0 = now();
  if (!process.start(p.path, inQuotes(p.path), p.path.substr(0, p.path.find_last_of('\\')))) {
    std::fprintf(stderr, "bench: cannot start %s (error %lu)\n", p.path.c_str(), process.error());
    return false;
  }
  bool ok = false;
  double start = 0, about = 0, close = 0, peak = 0;
  do {
    HWND main = waitReady(process.handle(), process.pid(), kMainCaption);
    if (!main) { std::fprintf(stderr, "bench: %s: main window never ready\n", p.label.c_str()); break; }
    start = now() - t0;
    if (p.hasAbout) {
      HWND button = childByText(main, kAboutButton);
      if (!button) { std::fprintf(stderr, "bench: %s: no About button\n", p.label.c_str()); break; }
      const double t1 = now();
      pressButton(button);
      HWND window = waitReady(process.handle(), process.pid(), kAboutCaption);
      if (!window) { std::fprintf(stderr, "bench: %s: About window never ready\n", p.label.c_str()); break; }
      about = now() - t1;
      PostMessageA(window, WM_CLOSE, 0, 0);
      if (!waitGone(process.handle(), process.pid(), kAboutCaption) || !answers(main)) {
        std::fprintf(stderr, "bench: %s: About window did not close\n", p.label.c_str());
        break;
      }
    }
    peak = peakWorkingSetKb(process.handle());
    const double t2 = now();
    PostMessageA(main, WM_CLOSE, 0, 0);
    if (!process.waitExit(kLimitMs)) {
      std::fprintf(stderr, "bench: %s: did not exit after its window was closed\n", p.label.c_str());
      break;
    }
    close = now() - t2;
    ok = true;
  } while (false);
  if (!ok) {
    process.terminate(1);
    ++p.failures;
  } else if (record) {
    p.start.push_back(start);
    if (p.hasAbout) p.about.push_back(about);
    p.close.push_back(close);
    p.peak.push_back(peak);
  }
  return ok;
}

// The q-quantile (0.5: the median), interpolated between neighbours.
double quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const double at = q * static_cast<double>(v.size() - 1);
  const auto below = static_cast<std::size_t>(at);
  const std::size_t above = below + 1 < v.size() ? below + 1 : below;
  return v[below] + (v[above] - v[below]) * (at - static_cast<double>(below));
}

double median(const std::vector<double>& v) { return quantile(v, 0.5); }

long long fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// One row of the table: the median of each program, or its spread (the
// middle half of the runs) when `spread` is set.
void printRow(const char* name, const std::vector<Program>& programs, std::vector<double> Program::*field,
              bool spread = false) {
  std::printf("%-26s", name);
  for (const Program& p : programs) {
    char cell[32] = "-";
    if (!(p.*field).empty() && spread) {
      std::snprintf(cell, sizeof cell, "%.0f-%.0f", quantile(p.*field, 0.25), quantile(p.*field, 0.75));
    } else if (!(p.*field).empty()) {
      std::snprintf(cell, sizeof cell, field == &Program::peak ? "%.0f" : "%.1f", median(p.*field));
    }
    std::printf(" %12s", cell);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_tick = 1000.0 / static_cast<double>(frequency.QuadPart);

  int runs = 30, warmup = 3;
  bool mainOnly = false;
  std::vector<Program> programs;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--warmup") && i + 1 < argc) {
      warmup = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--main-only")) {
      mainOnly = true;
    } else if (const char* eq = std::strchr(argv[i], '=')) {
      Program p;
      p.label.assign(argv[i], static_cast<std::size_t>(eq - argv[i]));
      p.path = eq + 1;
      p.size = fileSize(p.path);
      programs.push_back(p);
    } else {
      std::fprintf(stderr, "usage: %s [--runs N] [--warmup N] [--main-only] LABEL=EXE...\n", argv[0]);
      return 2;
    }
  }
  if (programs.size() < 2 || runs < 1) {
    std::fprintf(stderr, "bench: give at least a baseline and the program, and at least one run\n");
    return 2;
  }
  // With three programs the first is the main-window baseline and is not
  // driven through About; otherwise every program is.
  for (std::size_t i = 0; i < programs.size(); ++i) programs[i].hasAbout = !mainOnly && (i > 0 || programs.size() == 2);

  for (int round = 0; round < warmup + runs; ++round) {
    for (Program& p : programs) runOnce(p, round >= warmup);
  }

  const Program& base = programs.front();
  const Program& aboutBase = programs[programs.size() > 2 ? 1 : 0];
  const Program& measured = programs.back();
  std::printf("bench: %d runs of each after %d warm-up rounds, alternating, in one Wine session\n", runs, warmup);
  std::printf("%-26s", "median");
  for (const Program& p : programs) std::printf(" %12s", p.label.c_str());
  std::printf("\n");
  printRow("start to ready (ms)", programs, &Program::start);
  printRow("About open to ready (ms)", programs, &Program::about);
  printRow("close to exit (ms)", programs, &Program::close);
  printRow("peak working set (KB)", programs, &Program::peak);
  std::printf("%-26s", "exe size (bytes)");
  for (const Program& p : programs) std::printf(" %12lld", p.size);
  std::printf("\n");
  // Other work on the machine shows as a wide middle half.
  std::printf("%-26s\n", "middle half of the runs");
  printRow("start to ready (ms)", programs, &Program::start, true);
  printRow("About open to ready (ms)", programs, &Program::about, true);

  struct Goal {
    const char* what;
    double value, limit;
    const char* rule;
  };
  std::vector<Goal> goals;
  const double startRatio = median(measured.start) / median(base.start);
  std::printf("%s start / %s start: %.2f\n", measured.label.c_str(), base.label.c_str(), startRatio);
  goals.push_back({"start to ready", startRatio, 1.10, "ratio <= 1.10"});
  if (measured.hasAbout) {
    const double aboutRatio = median(measured.about) / median(aboutBase.about);
    const double closeRatio = median(measured.close) / median(aboutBase.close);
    const double peakExtra = (median(measured.peak) - median(aboutBase.peak)) / 1024.0;
    std::printf("%s About / %s About: %.2f\n", measured.label.c_str(), aboutBase.label.c_str(), aboutRatio);
    std::printf("%s close / %s close: %.2f\n", measured.label.c_str(), aboutBase.label.c_str(), closeRatio);
    std::printf("%s peak working set - %s: %+.2f MB\n", measured.label.c_str(), aboutBase.label.c_str(),
                peakExtra);
    goals.push_back({"About open to ready", aboutRatio, 1.10, "ratio <= 1.10"});
    goals.push_back({"peak working set", peakExtra, 1.0, "<= baseline + 1 MB"});
  }
  goals.push_back({"exe size", static_cast<double>(measured.size), 262144, "<= 262144 bytes"});
  for (const Goal& g : goals) {
    std::printf("goal %-20s %-20s %s\n", g.what, g.rule, g.value <= g.limit ? "met" : "MISSED");
  }
  int failures = 0;
  for (const Program& p : programs) {
    if (p.failures) std::printf("bench: %s failed %d run(s)\n", p.label.c_str(), p.failures);
    failures += p.failures;
  }
  return failures ? 1 : 0;
}
