#include "tools/check/Report.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "component/ProvinceCode.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "tools/check/Commands.h"
#include "tools/check/RulesLint.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace report {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;
constexpr DWORD kSha256Bytes = 32;
const wchar_t kLogFile[] = L"Log\\Quarvel_log.log";  // under the install path
// Only the current edition has unit Common: its start-up's exported name
// stands in the DLL's export table. The DLL is read, never loaded: loading
// it would start its log unit, which deletes old logs.
const char kCurrentOnly[] = "@@Common@Initialize";

void Out(const std::wstring& text) { textout::Write(GetStdHandle(STD_OUTPUT_HANDLE), text); }

std::wstring Json(const std::wstring& text) { return textout::JsonWide(text.c_str(), text.size()); }

// The system's own words for error, or its number.
std::wstring Reason(DWORD error) {
  const std::wstring words = textout::SystemReason(error);
  return words.empty() ? L"error " + std::to_wstring(error) : words;
}

struct Dll {
  std::wstring why;  // "" when read
  const quarvel::Edition* edition = nullptr;
  std::wstring version;  // of the version resource, "" none
  unsigned long long size = 0;
  std::wstring sha256;
};

// The file's size, SHA-256 and edition in one pass over its bytes.
bool Digest(const std::wstring& path, Dll* dll) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    dll->why = Reason(GetLastError());
    return false;
  }
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  bool ok = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES,
                                 CRYPT_VERIFYCONTEXT) &&
            CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
  // Each chunk is searched with the marker's length less one byte of the
  // chunk before, so that a marker across two chunks is found.
  const std::size_t keep = sizeof kCurrentOnly - 1;
  std::vector<char> buffer(keep + kReadChunk);
  std::size_t carried = 0;
  bool current = false;
  DWORD n = 0;
  while (ok && ReadFile(file, buffer.data() + carried, kReadChunk, &n, nullptr) && n > 0) {
    ok = CryptHashData(hash, reinterpret_cast<BYTE*>(buffer.data() + carried), n, 0);
    std::size_t have = carried + n;
    for (std::size_t at = 0; !current && at + sizeof kCurrentOnly <= have + 1; ++at) {
      current = std::memcmp(buffer.data() + at, kCurrentOnly, sizeof kCurrentOnly - 1) == 0;
    }
    dll->size += n;
    carried = have < keep ? have : keep;
    std::memmove(buffer.data(), buffer.data() + have - carried, carried);
  }
  BYTE value[kSha256Bytes];
  DWORD length = sizeof value;
  ok = ok && CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0) && length == sizeof value;
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  CloseHandle(file);
  if (!ok) {
    dll->why = L"cannot hash it: " + Reason(GetLastError());
    return false;
  }
  for (BYTE b : value) {
    wchar_t hex[3];
    std::swprintf(hex, 3, L"%02x", b);
    dll->sha256 += hex;
  }
  dll->edition = current ? &quarvel::kCurrentEdition : &quarvel::kEarlierEdition;
  return true;
}

// "major.minor.build.revision" of the version resource's fixed part.
std::wstring VersionOf(const std::wstring& path) {
  DWORD handle = 0, size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed) {
    return L"";
  }
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

const wchar_t* EditionName(const quarvel::Edition* edition) {
  return edition == nullptr ? L"not known" : edition == &quarvel::kCurrentEdition ? L"current"
                                                                                  : L"earlier";
}

// The province the channel names in edition's table: its section, or why none.
std::wstring ProvinceOf(const std::wstring& channel, const quarvel::Edition& edition,
                        std::wstring* code) {
  std::size_t begin = 0, length = 0;
  if (!quarvel::CutProvinceCode(reinterpret_cast<const char16_t*>(channel.c_str()),
                                channel.size(), &begin, &length)) {
    return L"none: the channel holds no \"-\" before a province code";
  }
  *code = channel.substr(begin, length);
  const quarvel::Province* province = quarvel::FindProvince(*edition.provinces, code->c_str());
  return province != nullptr ? kit::Widen(province->section)
                             : L"none: this edition has no rules for this code";
}

// A file a part of the report reads: "" when it can be read, else the reason.
std::wstring Unreadable(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Reason(GetLastError());
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? L"a folder, not a file" : L"";
}

}  // namespace

int Report(const std::wstring& path, bool json) {
  Dll dll;
  if (Digest(path, &dll)) dll.version = VersionOf(path);
  std::wstring installPath = kit::ReadSetupString(L"InstallPath");
  std::wstring channel = kit::ReadSetupString(L"channel"), code;
  const quarvel::Edition& edition = dll.edition ? *dll.edition : quarvel::kCurrentEdition;
  std::wstring province = ProvinceOf(channel, edition, &code);
  std::wstring rules = lint::InstallationRules(), log = installPath + kLogFile;
  // Without an install path the library looks beside the host's current
  // folder, which says nothing of this installation.
  const wchar_t* noPath = L"the setup key names no InstallPath";
  std::wstring rulesWhy = installPath.empty() ? noPath : Unreadable(rules);
  std::wstring logWhy = installPath.empty() ? noPath : Unreadable(log);
  if (json) {
    std::wstring dllPart = L"{\"path\":" + Json(path) + L",\"error\":" +
                           (dll.why.empty() ? L"null" : Json(dll.why));
    if (dll.why.empty()) {
      dllPart += std::wstring(L",\"edition\":\"") + EditionName(dll.edition) +
                 L"\",\"version\":" + (dll.version.empty() ? L"null" : Json(dll.version)) +
                 L",\"size\":" + std::to_wstring(dll.size) + L",\"sha256\":\"" + dll.sha256 + L"\"";
    }
    Out(L"{\"command\":\"report\",\"dll\":" + dllPart + L"},\"installPath\":" + Json(installPath) +
        L",\"channel\":" + Json(channel) + L",\"provinceCode\":" + Json(code) +
        L",\"province\":" + Json(province) + L",\"rulesFile\":" + Json(rules) +
        L",\"rulesError\":" + (rulesWhy.empty() ? L"null" : Json(rulesWhy)) + L",\"log\":" +
        Json(log) + L",\"logError\":" + (logWhy.empty() ? L"null" : Json(logWhy)) +
        L",\"lastCalls\":" + std::to_wstring(kLastCalls) + L"}\n");
  } else {
    std::wstring text = L"dll: " + path + L"\n";
    text += dll.why.empty()
                ? std::wstring(L"  edition: ") + EditionName(dll.edition) + L"\n  version: " +
                      (dll.version.empty() ? L"none" : dll.version) + L"\n  size: " +
                      std::to_wstring(dll.size) + L" bytes\n  sha256: " + dll.sha256 + L"\n"
                : L"  cannot be read: " + dll.why + L"\n";
    text += L"setup key: InstallPath \"" + installPath + L"\", channel \"" + channel +
            L"\", province " + province + L"\n\n";
    if (!rulesWhy.empty()) {
      text += L"rules file: " + rules + L": cannot be read: " + rulesWhy + L"\n";
    }
    Out(text);
  }
  if (rulesWhy.empty()) commands::Rules(L"", edition, L"", json);
  if (!json) {
    Out(L"\nlog: " + log +
        (logWhy.empty() ? L", its last " + std::to_wstring(kLastCalls) + L" calls\n"
                        : L": cannot be read: " + logWhy + L"\n"));
  }
  commands::LogOptions options;
  options.json = json;
  options.last = kLastCalls;
  // Both editions' tables: an installation's log may hold lines of both.
  if (logWhy.empty()) commands::Log(log, nullptr, options);
  return commands::kExitSound;
}

}  // namespace report
