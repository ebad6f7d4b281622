// What the Wine tests add to the host kit: the two editions' DLLs, a fault
// in the library ending the test program, and each test's fresh install
// folder. Narrow literals here are GBK, as in the library.
#ifndef QUARVEL_TESTS_TESTBENCH_H
#define QUARVEL_TESTS_TESTBENCH_H

#include <ostream>
#include <string>

#include "tools/kit/Kit.h"
#include "tools/kit/Replies.h"
#include "tools/scenario/ScenarioServer.h"

namespace bench {

using kit::DeleteSetupValue;
using kit::FileExists;
using kit::HostOf;
using kit::LogMessages;
using kit::LogShape;
using kit::NowMs;
using kit::ReadFile;
using kit::ReadLog;
using kit::RemoveTree;
using kit::ResetSetupKey;
using kit::SetProvince;
using kit::SetSetupRaw;
using kit::SetSetupString;
using kit::WriteFile;
using kit::WriteRules;

enum class EditionId { kCurrent, kEarlier };
const char* DllPath(EditionId edition);
const char* EditionName(EditionId edition);
// Names parameterised tests "current" and "earlier".
inline void PrintTo(EditionId edition, std::ostream* out) { *out << EditionName(edition); }

// One load of an edition; unloads on destruction.
class Library : public kit::Library {
 public:
  explicit Library(EditionId edition) : kit::Library(std::string(DllPath(edition))) {}
};

// A fresh, empty folder C:\quarvel-tests\<name>\ (trailing backslash), made
// the install path in the registry unless told otherwise.
std::string FreshInstallDir(const std::string& name, bool setInstallPath = true);
// The setup key emptied and a fresh install folder named after the running test.
std::string FreshTestInstall();

// The log's records in order, joined by blanks: a numbered one's number, the
// texts "Get 退出！" as "exit", "网络通。" as "up", "获取到的包体为空。" as
// "empty", "解析失败。" as "unparsed", the page served as "body", any other
// text as "txt". Each numbered record must end its line within the message
// buffer (a test failure otherwise).
std::string Shape(const std::string& installDir, const std::string& body = "");

}  // namespace bench

// Runs a test suite parameterised by edition for both editions.
#define QUARVEL_BOTH_EDITIONS(suite)                                                    \
  INSTANTIATE_TEST_SUITE_P(Both, suite,                                                 \
                           ::testing::Values(bench::EditionId::kCurrent, bench::EditionId::kEarlier), \
                           ::testing::PrintToStringParamName())

#endif
