// The setup-key readers against values of every shape an installer (or a
// damaged registry) can leave.
#include <gtest/gtest.h>

#include <cstring>

#include "component/Edition.h"
#include "current/Edition.h"
#include "support/SetupRegistry.h"
#include "tests/wine/TestBench.h"

namespace {

using quarvel::ReadSetupString;
using quarvel::ReadSetupStringA;

class SetupReaders : public ::testing::Test {
 protected:
  void SetUp() override { bench::ResetSetupKey(); }
};

TEST_F(SetupReaders, StringWithAndWithoutTerminator) {
  bench::SetSetupString(L"InstallPath", L"C:\\Client\\");
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "C:\\Client\\");
  EXPECT_STREQ(ReadSetupString(L"InstallPath").c_str(), L"C:\\Client\\");

  const wchar_t unterminated[] = {L'C', L':', L'\\', L'x'};
  bench::SetSetupRaw(L"InstallPath", REG_SZ, unterminated, sizeof unterminated);
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "C:\\x");
  EXPECT_STREQ(ReadSetupString(L"InstallPath").c_str(), L"C:\\x");

  // An odd byte count leaves half a unit, completed by the zero fill.
  bench::SetSetupRaw(L"InstallPath", REG_SZ, unterminated, 5);
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "C:\\");
}

TEST_F(SetupReaders, MissingEmptyAndMissingKeyAllReadEmpty) {
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "");
  bench::SetSetupString(L"InstallPath", L"");
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "");
  EXPECT_STREQ(ReadSetupString(L"InstallPath").c_str(), L"");
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Korvanta\\Setup", KEY_WOW64_32KEY, 0);
  EXPECT_STREQ(ReadSetupStringA(L"channel").c_str(), "");
  EXPECT_STREQ(ReadSetupString(L"channel").c_str(), L"");
}

TEST_F(SetupReaders, TypeIsIgnored) {
  bench::SetSetupString(L"InstallPath", L"%WINDIR%\\Client\\", REG_EXPAND_SZ);
  EXPECT_STREQ(ReadSetupStringA(L"InstallPath").c_str(), "%WINDIR%\\Client\\");

  const unsigned char binary[] = {'A', 0, 'B', 0, 0, 0, 'C', 0};
  bench::SetSetupRaw(L"channel", REG_BINARY, binary, sizeof binary);
  EXPECT_STREQ(ReadSetupString(L"channel").c_str(), L"AB");

  DWORD number = 0x00330032;  // the units "2", "3"
  bench::SetSetupRaw(L"channel", REG_DWORD, &number, sizeof number);
  EXPECT_STREQ(ReadSetupString(L"channel").c_str(), L"23");
}

TEST_F(SetupReaders, CharactersOutsideTheAnsiCodePageAreReplaced) {
  ASSERT_EQ(GetACP(), 936u);
  // U+4E2D is in code page 936 and survives; U+0E01 (Thai) does not.
  bench::SetSetupString(L"channel", L"\x4E2D-\x0E01");
  quarvel::WideText channel = ReadSetupString(L"channel");
  ASSERT_EQ(channel.length(), 3u);
  EXPECT_EQ(channel.c_str()[0], 0x4E2D);
  EXPECT_NE(channel.c_str()[2], 0x0E01);
  EXPECT_STREQ(ReadSetupStringA(L"channel").c_str(), "中-?");
}

TEST_F(SetupReaders, LongChannelValueReadsWhole) {
  std::wstring longValue(300, L'7');
  longValue[10] = L'-';
  bench::SetSetupString(L"channel", longValue);
  EXPECT_EQ(ReadSetupString(L"channel").length(), 300u);
}

TEST(Wow64, AnswersAsTheSystemDoes) {
  // Neither the 32-bit bench on its 32-bit prefix nor the 64-bit bench runs
  // under WOW64: the setup access of the build is used.
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(quarvel::IsWow64(), wow64 != FALSE);
}

}  // namespace
