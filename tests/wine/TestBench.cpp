#include "tests/wine/TestBench.h"

#include <cstdio>

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

}  // namespace bench
