#include "component/RulesFile.h"

#include <cstdlib>
#include <cstring>

#include "component/Edition.h"
#include "include/Quarvel.h"
#include "support/CodePage.h"
#include "support/Log.h"
#include "support/LogFormat.h"
#include "support/OsCalls.h"
#include "support/Settings.h"
#include "support/SetupRegistry.h"

namespace quarvel {

namespace {

// head then tail in one new block of text; false when memory ran out.
template <typename Char>
bool Join(const OwnedText<Char>& head, const Char* tail, OwnedText<Char>* out) {
  std::size_t headLen = head.length(), tailLen = 0;
  while (tail[tailLen] != 0) ++tailLen;
  Char* joined = static_cast<Char*>(std::malloc((headLen + tailLen + 1) * sizeof(Char)));
  if (joined == nullptr) return false;
  std::memcpy(joined, head.c_str(), headLen * sizeof(Char));
  std::memcpy(joined + headLen, tail, (tailLen + 1) * sizeof(Char));
  out->Adopt(joined);
  return true;
}

}  // namespace

void ReadRulesFilePath(RulesFile* rules) {
  // The narrow path is not converted back from the wide one: the setup key's
  // ANSI text is that path's head already.
  AnsiText narrowInstall = ReadSetupAnsi(kInstallPathValue);
  WideText wideInstall;
  AnsiToWide(narrowInstall.c_str(), &wideInstall);
  if (Join(wideInstall, kRulesFileName, &rules->path)) {
    Join(narrowInstall, kRulesFileNameAnsi, &rules->narrow);
  }
}

bool RulesFileExists(const wchar_t* path) {
  DWORD attributes = gOs.getFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

std::size_t ReadPrivateProfile(const void* rulesPath, const char* section, const char* key,
                               char* value, std::size_t capacity) {
  return gOs.getPrivateProfileStringA(section, key, "", value, static_cast<DWORD>(capacity),
                                  static_cast<const char*>(rulesPath));
}

// A province's line in the log, with its two values where it carries them.
void WriteProvinceLine(void*, const LogLine& line, const char* valueA, const char* valueB) {
  LogFormatted([&](char* buffer, std::size_t bound) {
    if (valueA == nullptr && valueB == nullptr) {
      FormatNumbered(buffer, bound, line.message, line.n);
    } else {
      FormatWithTwoValues(buffer, bound, line.message, line.n, valueA, valueB);
    }
  });
}

// The page address of a hit: pageText (ANSI) converted to UTF-16 and copied
// into page, bounded by pageCount and always terminated.
void WritePage(wchar_t* page, unsigned int pageCount, const char* pageText) {
  WideText wide;
  if (!AnsiToWide(pageText, &wide)) return;
  CopyPageText(reinterpret_cast<char16_t*>(page), pageCount,
               reinterpret_cast<const char16_t*>(wide.c_str()));
}

// Room for the start of a section's key names: enough to tell an empty
// list from one that holds a name (a cut list still reports its length).
constexpr DWORD kKeyNamesProbeSize = 64;

// True when the rules file has a [Probe] section with at least one line in
// it: most files have none, and are then read with this one call instead of
// one per key.
bool HasProbeSection(const char* rulesPath) {
  char names[kKeyNamesProbeSize];
  return gOs.getPrivateProfileStringA(kProbeSection, nullptr, "", names, sizeof names,
                                      rulesPath) != 0;
}

}  // namespace

// The rule codes are the host's disconnect types.
constexpr bool Same(RuleCode code, DisconType type) {
  return static_cast<int>(code) == static_cast<int>(type);
}
static_assert(Same(kErrPasswordCode, ErrPassword) && Same(kAccountExpireCode, AccountExpire) &&
                  Same(kAccountHaltCode, AccountHalt) && Same(kBindCheckErrCode, BindCheckErr) &&
                  Same(kLimitUserCountCode, LimitUserCount) &&
                  Same(kAccountHangDeadCode, AccountHangDead),
              "rule codes match DisconType");

RulesSource PrivateProfileRules(const char* rulesPath) { return {ReadPrivateProfile, rulesPath}; }

void LoadProbeSettings(const RulesFile& rules, ProbeSettings* settings) {
  const RulesSource source = PrivateProfileRules(rules.narrow.c_str());
  const bool readable = kEdition.readsProbeSection && !rules.narrow.empty() &&
                        HasProbeSection(rules.narrow.c_str());
  EditionProbeSettings(kEdition, readable ? &source : nullptr, settings);
}

void LogRefusedSettings(const ProbeSettings& settings) {
  for (std::size_t i = 0; i < settings.probeUrlsRefused; ++i) Log(LogPoint::kProbeUrlRefused);
  if (settings.defaultUrlState == SettingState::kRefused) Log(LogPoint::kIpLocationUrlRefused);
  if (settings.markerState == SettingState::kRefused) Log(LogPoint::kMarkerRefused);
  if (settings.timeLimitState == SettingState::kRefused) Log(LogPoint::kTimeLimitRefused);
  if (settings.expectState == SettingState::kRefused) Log(LogPoint::kExpectRefused);
}

void LogIfTimeLimitRanOut(const Deadline& deadline) {
  if (deadline.RanOut()) Log(LogPoint::kTimeLimitEnded);
}

int ApplyProvinceRules(const Province& province, const RulesSource& rules, const char* target,
                       wchar_t* page, unsigned int pageCount) {
  RuleValues values = {};
  const ProvinceDecision decision =
      DecideProvinceRule(province, rules, target, kProbeUrl, &values, {WriteProvinceLine, nullptr});
  if (decision.pageText != nullptr) WritePage(page, pageCount, decision.pageText);
  return decision.code;
}

}  // namespace quarvel
