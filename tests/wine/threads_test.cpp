// Host threads at once, each with its own object, while objects are made and
// released: every call answers as it does alone, and the log holds exactly
// the records of the same calls made one after another on one thread, each
// whole (none lost, doubled or run into another).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

constexpr int kThreads = 4;
constexpr int kRoundsPerThread = 40;
constexpr unsigned int kPageCount = 64;

const char kPortalPage[] = "http://portal/arrears";

// One round of a thread: its calls on its own object (made before the
// rounds), and what they must give.
struct Row {
  const char* what;
  bool checks;         // a CheckNetDisconType after the Gets
  bool freshObjects;   // an object made and released in every round
};

const Row kRows[] = {
    {"Gets only", false, false},
    {"Gets, checks and fresh objects", true, true},
};

class Threads : public ::testing::TestWithParam<EditionId> {
 protected:
  void SetUp() override {
    bench::SetProvince("27");
    ASSERT_TRUE(bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=arrears\r\n"));
    const scenario::Reply portal = scenario::Respond(kit::Found302(kPortalPage));
    server_.Route(bench::HostOf(quarvel::kIpLocationUrl), "", portal);
    server_.Route(bench::HostOf(quarvel::kProbeUrl), "", portal);
    server_.Route("", "/page", scenario::Respond(kit::Ok200("<p>a page</p>")));
    server_.Route("", "/moved", portal);
    server_.RecordNothing();
    ASSERT_TRUE(server_.Start(80));
  }

  // One thread's rounds on component; false at the first call that does not
  // answer as it does alone.
  static bool Rounds(const bench::Library& library, IZHttp* component, const Row& row) {
    for (int round = 0; round < kRoundsPerThread; ++round) {
      if (component->Get("http://127.0.0.1/page") != 1) return false;
      // The check fetches the last page again: the portal's redirect.
      if (component->Get("http://127.0.0.1/moved") != 1) return false;
      if (row.freshObjects) {
        IZHttp* fresh = library.Create();
        if (fresh == nullptr || fresh->Release() != 0) return false;
      }
      if (!row.checks) continue;
      wchar_t page[kPageCount] = {};
      if (component->CheckNetDisconType(page, kPageCount) != AccountExpire ||
          std::wstring(page) != L"arrears") {
        return false;
      }
    }
    return true;
  }

  struct Work {
    const bench::Library* library;
    const Row* row;
    IZHttp* component;
    bool ok;
  };
  static DWORD WINAPI RunWork(void* parameter) {
    Work* w = static_cast<Work*>(parameter);
    w->ok = w->component != nullptr && Rounds(*w->library, w->component, *w->row);
    return 0;
  }

  // Runs the rounds of kThreads objects, on as many threads or on this one;
  // the log's records come back sorted.
  std::vector<std::string> Run(const bench::Library& library, const Row& row, bool together) {
    bench::RemoveTree(dir_ + "Log");
    CreateDirectoryA((dir_ + "Log").c_str(), nullptr);
    std::vector<Work> work(kThreads);
    for (Work& w : work) w = {&library, &row, library.Create(), false};
    std::vector<HANDLE> threads;
    for (Work& w : work) {
      if (!together) {
        RunWork(&w);
        continue;
      }
      HANDLE thread = CreateThread(nullptr, 0, RunWork, &w, 0, nullptr);
      EXPECT_NE(thread, nullptr);
      if (thread != nullptr) threads.push_back(thread);
    }
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    for (std::size_t i = 0; i < work.size(); ++i) {
      EXPECT_TRUE(work[i].ok) << "object " << i << (together ? " on its thread" : " alone");
      if (work[i].component != nullptr) work[i].component->Release();
    }
    std::vector<std::string> records = kit::LogRecords(dir_);
    std::sort(records.begin(), records.end());
    return records;
  }

  std::string dir_ = bench::FreshTestInstall();
  scenario::Server server_;
};

TEST_P(Threads, EveryCallAndLogRecordAsAlone) {
  bench::Library library(GetParam());
  for (const Row& row : kRows) {
    const std::vector<std::string> alone = Run(library, row, false);
    const std::vector<std::string> together = Run(library, row, true);
    ASSERT_FALSE(alone.empty()) << row.what;
    EXPECT_EQ(together.size(), alone.size()) << row.what;
    // The first record that differs between the two sorted logs, if any.
    auto differs = std::mismatch(together.begin(), together.end(), alone.begin(), alone.end());
    if (differs.first != together.end() || differs.second != alone.end()) {
      ADD_FAILURE() << row.what << ": record of the threads' log \""
                    << (differs.first != together.end() ? *differs.first : "(none)")
                    << "\" where the log of one thread has \""
                    << (differs.second != alone.end() ? *differs.second : "(none)") << "\"";
    }
  }
}

QUARVEL_BOTH_EDITIONS(Threads);

}  // namespace
