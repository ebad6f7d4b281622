// The component boundary as a host sees it: the factory, reference counts,
// QueryInterface, the accessors and the province code, in both editions.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

const GUID kOtherIid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class Component : public ::testing::TestWithParam<EditionId> {
 protected:
  std::string installDir_ = bench::FreshTestInstall();
};

TEST_P(Component, FactoryAcceptsOnlyTheComponentIdentifier) {
  bench::Library library(GetParam());
  ASSERT_NE(library.factory(), nullptr);
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(library.factory()(IID_IUnknown, &out), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(library.factory()(kOtherIid, &out), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(library.factory()(IID_IZHttp, nullptr), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(library.factory()(*static_cast<const GUID*>(nullptr), &out), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
}

TEST_P(Component, ReferenceCountsAndQueryInterface) {
  bench::Library library(GetParam());
  void* out = nullptr;
  ASSERT_EQ(library.factory()(IID_IZHttp, &out), S_OK);
  IZHttp* component = static_cast<IZHttp*>(out);
  EXPECT_EQ(component->AddRef(), 2u);
  EXPECT_EQ(component->Release(), 1u);

  void* unknown = reinterpret_cast<void*>(0x77);
  EXPECT_EQ(component->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(unknown, out);
  EXPECT_EQ(component->Release(), 1u);

  void* untouched = reinterpret_cast<void*>(0x77);
  EXPECT_EQ(component->QueryInterface(kOtherIid, &untouched), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(untouched, reinterpret_cast<void*>(0x77));
  EXPECT_EQ(component->QueryInterface(IID_IZHttp, nullptr), static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(component->QueryInterface(*static_cast<const GUID*>(nullptr), &untouched),
            static_cast<HRESULT>(0x80004005));

  EXPECT_EQ(component->Release(), 0u);  // the last reference destroys it
}

TEST_P(Component, AccessorsCopyTextWithoutTerminator) {
  bench::Library library(GetParam());
  IZHttp* component = library.Create();
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(component->GetRequestHeader(nullptr), 0);
  EXPECT_EQ(component->GetResponseHeader(nullptr), 0);
  EXPECT_EQ(component->GetResponseBody(nullptr), 0);

  // Before any Get the fields are empty: a prefilled buffer stays as it was.
  std::vector<char> buffer(QUARVEL_RESPONSE_BODY_SIZE + 16, 'Z');
  EXPECT_EQ(component->GetRequestHeader(buffer.data()), 1);
  EXPECT_EQ(component->GetResponseHeader(buffer.data()), 1);
  EXPECT_EQ(component->GetResponseBody(buffer.data()), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(buffer.size(), 'Z'));
  component->Release();
}

// A null target or capacity: no fetch, so not even a log line.
TEST_P(Component, NullTargetOrCapacityFetchesAndLogsNothing) {
  bench::Library library(GetParam());
  IZHttp* component = library.Create();
  int capacity = 16;
  char target[16];
  EXPECT_EQ(component->CheckRedirction(nullptr, &capacity), NoTarget);
  EXPECT_EQ(component->CheckRedirction(target, nullptr), NoTarget);
  component->Release();
  EXPECT_EQ(bench::ReadLog(installDir_), "");
}

QUARVEL_BOTH_EDITIONS(Component);

}  // namespace

namespace {

// Every export hosts and tools look up, by name, in each edition.
TEST(Exports, EachEditionExportsItsUnitsByName) {
  const char* shared[] = {"CreateComponent", "_LOG", "_sError", "@@Log@Initialize",
                          "@@Log@Finalize", "@@Quarvel@Initialize", "@@Quarvel@Finalize"};
  for (bench::EditionId edition : {bench::EditionId::kCurrent, bench::EditionId::kEarlier}) {
    bench::Library library(edition);
    ASSERT_NE(library.module(), nullptr) << bench::DllPath(edition);
    for (const char* name : shared) {
      EXPECT_NE(GetProcAddress(library.module(), name), nullptr) << name;
    }
    bool current = edition == bench::EditionId::kCurrent;
    EXPECT_EQ(GetProcAddress(library.module(), "@@Common@Initialize") != nullptr, current);
    EXPECT_EQ(GetProcAddress(library.module(), "@@Common@Finalize") != nullptr, current);
  }
}

std::string VersionString(const std::vector<char>& info, const char* name) {
  void* value = nullptr;
  UINT size = 0;
  std::string query = std::string("\\StringFileInfo\\080403A8\\") + name;
  if (!VerQueryValueA(info.data(), query.c_str(), &value, &size) || size == 0) return "";
  return static_cast<const char*>(value);
}

TEST(Resources, CurrentEditionCarriesVersionAndIcon) {
  const char* path = bench::DllPath(bench::EditionId::kCurrent);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0001005Cu);  // 1.0.1.92
  EXPECT_EQ(fixed->dwProductVersionMS, 0x0002000Du);  // 2.13

  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT translationSize = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translationSize));
  ASSERT_GE(translationSize, sizeof(Translation));
  EXPECT_EQ(translation->language, 0x0804);
  EXPECT_EQ(translation->codePage, 936);

  EXPECT_EQ(VersionString(info, "FileDescription"), "Check the net redirection");
  EXPECT_EQ(VersionString(info, "FileVersion"), "1.0.1.92");
  EXPECT_EQ(VersionString(info, "ProductVersion"), "2.13.0");
  EXPECT_FALSE(VersionString(info, "CompanyName").empty());

  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3)), nullptr);  // RT_ICON
  FreeLibrary(module);
}

TEST(Resources, EarlierEditionCarriesNone) {
  DWORD handle = 0;
  EXPECT_EQ(GetFileVersionInfoSizeA(bench::DllPath(bench::EditionId::kEarlier), &handle), 0u);
  HMODULE module =
      LoadLibraryExA(bench::DllPath(bench::EditionId::kEarlier), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  FreeLibrary(module);
}

}  // namespace
