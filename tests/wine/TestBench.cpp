#include "tests/wine/TestBench.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

namespace bench {

namespace {

// A fault inside the library must fail the test. Wine's own handler would
// print a note and let the process end with status 0, so the test program
// ends itself with the exception's code instead.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  std::fprintf(stderr, "unhandled exception 0x%08lx at %p\n", static_cast<unsigned long>(code),
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_EXECUTE_HANDLER;
}

constexpr std::size_t kLogLineBound = 400;  // the message buffer, NUL included

const LPTOP_LEVEL_EXCEPTION_FILTER kPreviousFilter =
    SetUnhandledExceptionFilter(EndOnUnhandledException);

}  // namespace

const char* DllPath(EditionId edition) {
  return edition == EditionId::kCurrent ? QUARVEL_CURRENT_DLL : QUARVEL_EARLIER_DLL;
}

const char* EditionName(EditionId edition) {
  return edition == EditionId::kCurrent ? "current" : "earlier";
}

std::string FreshInstallDir(const std::string& name, bool setInstallPath) {
  CreateDirectoryA("C:\\quarvel-tests", nullptr);
  std::string folder = name;  // test names of parameterised tests hold "/"
  for (char& c : folder) {
    if (c == '/' || c == '\\' || c == ':') c = '_';
  }
  const std::string dir = kit::FreshFolder("C:\\quarvel-tests\\" + folder);
  if (setInstallPath) SetSetupString(L"InstallPath", kit::Widen(dir));
  return dir;
}

std::string FreshTestInstall() {
  ResetSetupKey();
  return FreshInstallDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

std::string Shape(const std::string& installDir, const std::string& body) {
  const std::pair<std::string, const char*> named[] = {
      {"Get 退出！", "exit"}, {"网络通。", "up"}, {"获取到的包体为空。", "empty"},
      {"解析失败。", "unparsed"}};
  std::string shape;
  for (const std::string& record : kit::LogRecords(installDir)) {
    std::string label = kit::RecordNumber(record);
    if (label != "-") {
      EXPECT_EQ("\r\n", record.substr(record.size() - 2)) << record;
      EXPECT_LE(record.size(), kLogLineBound) << record;
    } else {
      label = !body.empty() && record == kit::OnDisk(body) ? "body" : "txt";
      for (const auto& text : named) {
        if (record == kit::OnDisk(text.first + "\n")) label = text.second;
      }
    }
    shape += (shape.empty() ? "" : " ") + label;
  }
  return shape;
}

}  // namespace bench
