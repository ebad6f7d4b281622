#include "tools/check/RulesLint.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "classify/ProbeSettings.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "component/RulesFile.h"
#include "support/Bytes.h"
#include "support/Settings.h"
#include "tools/check/CodeNames.h"
#include "tools/kit/Kit.h"

namespace lint {
namespace {

std::size_t ReadProfile(const void* path, const char* section, const char* key, char* value,
                        std::size_t capacity) {
  return GetPrivateProfileStringA(section, key, "", value, static_cast<DWORD>(capacity),
                                  static_cast<const char*>(path));
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), quarvel::AsciiLower<char>);
  return text;
}

// The private-profile call ignores the case of section and key names.
bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The name of names closest to name, when close enough to be a slip.
std::string Nearest(const std::string& name, const std::vector<std::string>& names) {
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(2, name.size() / 4) + 1;
  for (const std::string& candidate : names) {
    std::size_t d = EditDistance(Lower(name), Lower(candidate));
    if (d < bestDistance) bestDistance = d, best = candidate;
  }
  return best;
}

// Sections and keys some edition of the library reads.
struct Known {
  std::vector<std::string> sections;
  std::vector<std::pair<std::string, std::string>> keys;  // section, key

  void Add(const char* section, const char* key) {
    if (std::find(sections.begin(), sections.end(), section) == sections.end()) {
      sections.push_back(section);
    }
    keys.emplace_back(section, key);
  }
  std::vector<std::string> KeysOf(const std::string& section) const {
    std::vector<std::string> out;
    for (const auto& k : keys) {
      if (SameName(k.first, section)) out.push_back(k.second);
    }
    return out;
  }
};

void AddEdition(const quarvel::Edition& edition, Known* known) {
  for (std::size_t p = 0; p < edition.provinces->count; ++p) {
    const quarvel::Province& province = edition.provinces->provinces[p];
    for (std::size_t r = 0; r < province.ruleCount; ++r) {
      known->Add(province.section, province.rules[r].key);
    }
  }
  if (!edition.readsProbeSection) return;
  for (const char* key : {quarvel::kProbeUrlKey, quarvel::kIpLocationUrlKey, quarvel::kMarkerKey,
                          quarvel::kTimeLimitKey}) {
    known->Add(quarvel::kProbeSection, key);
  }
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return SameName(n, name); });
}

// One line of the file as the private-profile format lays it out.
struct RawEntry {
  int line;
  std::string section, key;  // key empty for a section header
  bool innerCr;              // a CR inside the line, not at its end
};

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r");
  std::size_t end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

std::vector<RawEntry> Entries(const std::string& bytes) {
  std::vector<RawEntry> entries;
  std::string section;
  std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int line = 1; at < bytes.size(); ++line) {
    std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string text = Trim(bytes.substr(at, end - at));
    at = end + 1;
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      section = Trim(text.substr(1, text.find(']') - 1));
      entries.push_back({line, section, "", false});
    } else if (text.find('=') != std::string::npos) {
      entries.push_back({line, section, Trim(text.substr(0, text.find('='))),
                         text.find('\r') != std::string::npos});
    }
  }
  return entries;
}

std::string Encoding(const std::string& bytes, bool* problem) {
  *problem = false;
  auto ascii = [](char c) { return (c & 0x80) == 0; };
  bool utf8Mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (utf8Mark || bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    if (utf8Mark && std::all_of(bytes.begin() + 3, bytes.end(), ascii)) {
      return "UTF-8 with a byte-order mark, ASCII text only: the private-profile call converts "
             "the file, which changes no value here";
    }
    *problem = true;
    return "Unicode with a byte-order mark: the private-profile call converts every value to the "
           "ANSI code page, so no value keeps the bytes the file holds";
  }
  if (std::all_of(bytes.begin(), bytes.end(), ascii)) return "ASCII: values are taken as they are";
  int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                 static_cast<int>(bytes.size()), nullptr, 0);
  return wide > 0 ? "UTF-8 without a byte-order mark: values are taken as UTF-8 bytes, matched "
                    "byte for byte (a GBK page never holds them)"
                  : "GBK: values are taken as they are";
}

// Names in the file that no edition reads, names the chosen edition does not
// read, and keys given twice.
void CheckNames(const quarvel::Edition& edition, const std::vector<RawEntry>& entries,
                Report* report) {
  Known any, own;
  AddEdition(quarvel::kCurrentEdition, &any);
  AddEdition(quarvel::kEarlierEdition, &any);
  AddEdition(edition, &own);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    Finding f{e.section, e.key, e.line, "", false};
    if (e.innerCr) {
      report->findings.push_back({e.section, e.key, e.line,
                                  "holds a CR: the private-profile call ends the value there, and "
                                  "a redirect target never holds one",
                                  true});
    }
    if (e.key.empty()) {
      if (Contains(own.sections, e.section)) continue;
      f.problem = !Contains(any.sections, e.section);
      std::string nearest = Nearest(e.section, any.sections);
      f.text = f.problem ? "ignored: no edition reads this section" +
                               (nearest.empty() ? "" : "; nearest: [" + nearest + "]")
                         : "ignored: this edition does not read this section";
    } else if (!Contains(any.sections, e.section) || !Contains(own.sections, e.section)) {
      continue;  // said of its section
    } else if (!Contains(any.KeysOf(e.section), e.key)) {
      std::string nearest = Nearest(e.key, any.KeysOf(e.section));
      f.problem = true;
      f.text =
          "ignored: no edition reads this key" + (nearest.empty() ? "" : "; nearest: " + nearest);
    } else if (!Contains(own.KeysOf(e.section), e.key)) {
      f.text = "ignored: this edition does not read this key";
    } else {
      auto first = std::find_if(entries.begin(), entries.begin() + i, [&](const RawEntry& o) {
        return SameName(o.section, e.section) && SameName(o.key, e.key);
      });
      if (first == entries.begin() + i) continue;
      f.problem = true;
      f.text = "given twice: only line " + std::to_string(first->line) + " counts";
    }
    report->findings.push_back(f);
  }
}

bool PresentInFile(const std::vector<RawEntry>& entries, const char* section, const char* key) {
  return std::any_of(entries.begin(), entries.end(), [&](const RawEntry& e) {
    return SameName(e.section, section) && SameName(e.key, key);
  });
}

// Why a value the rule reads will not work, or "".
std::string ValueNote(const quarvel::ProvinceRule& rule, bool present, const std::string& value) {
  if (present && value.empty()) return "empty: reads as missing and never matches";
  if (value.empty()) return "";
  if (rule.page == quarvel::PageSource::kProbeUrl) {
    return value.find("://") == std::string::npos
               ? ""
               : std::string("a switch only: the page shown is always ") + quarvel::kProbeUrl +
                     ", never this address";
  }
  if (value.find(' ') != std::string::npos) {
    return "holds a space: never occurs in a redirect target";
  }
  bool control = std::any_of(value.begin(), value.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  return control ? "holds a CR or another control character: never occurs in a redirect target"
                 : "";
}

void CheckProvinces(const quarvel::Edition& edition, const std::string& path,
                    const std::vector<RawEntry>& entries, Report* report) {
  for (std::size_t p = 0; p < edition.provinces->count; ++p) {
    const quarvel::Province& province = edition.provinces->provinces[p];
    Province summary{province.section, std::string(province.code, province.code + 2), {}, {}};
    for (std::size_t r = 0; r < province.ruleCount; ++r) {
      const quarvel::ProvinceRule& rule = province.rules[r];
      char value[quarvel::kRuleValueSize] = {};
      ReadProfile(path.c_str(), province.section, rule.key, value, sizeof value);
      Value v{province.section, rule.key, PresentInFile(entries, province.section, rule.key), value,
              ""};
      v.note = ValueNote(rule, v.present, v.value);
      if (!v.note.empty()) report->sound = false;
      // A switch given an address still switches its rule on.
      bool works =
          !v.value.empty() && (v.note.empty() || rule.page == quarvel::PageSource::kProbeUrl);
      (works ? summary.recognised : summary.missed).push_back(codes::DisconName(rule.code));
      report->values.push_back(v);
    }
    report->provinces.push_back(summary);
  }
}

// The message of the edition's log line at point, without its line end.
std::string LogMessage(const quarvel::Edition& edition, quarvel::LogPoint point) {
  for (std::size_t i = 0; i < edition.logPoints->count; ++i) {
    const quarvel::LogPointLine& line = edition.logPoints->lines[i];
    if (line.point != point || line.message == nullptr) continue;
    std::string text = line.message;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  return "refused";
}

void CheckProbe(const quarvel::Edition& edition, const std::string& path, Report* report) {
  if (!edition.readsProbeSection) return;
  quarvel::ProbeSettings settings;
  ProbeSettingsOf(edition, path, &settings);
  // The settings keep the limit as a number: its text, as the file holds it,
  // is read for the report.
  char limitText[quarvel::kRuleValueSize] = {};
  ReadProfile(path.c_str(), quarvel::kProbeSection, quarvel::kTimeLimitKey, limitText,
              sizeof limitText);
  const struct {
    const char* key;
    quarvel::SettingState state;
    const char* value;
    quarvel::LogPoint refusal;
  } items[] = {
      {quarvel::kProbeUrlKey, settings.probeUrlState, settings.probeUrlValue,
       quarvel::LogPoint::kProbeUrlRefused},
      {quarvel::kIpLocationUrlKey, settings.defaultUrlState, settings.defaultUrlValue,
       quarvel::LogPoint::kIpLocationUrlRefused},
      {quarvel::kMarkerKey, settings.markerState, settings.markerValue,
       quarvel::LogPoint::kMarkerRefused},
      {quarvel::kTimeLimitKey, settings.timeLimitState, limitText,
       quarvel::LogPoint::kTimeLimitRefused},
  };
  for (const auto& item : items) {
    Value v{quarvel::kProbeSection, item.key, item.state != quarvel::SettingState::kBuiltIn,
            item.value, ""};
    if (item.state == quarvel::SettingState::kRefused) {
      v.note = "refused: " + LogMessage(edition, item.refusal);
      report->sound = false;
    }
    report->values.push_back(v);
  }
}

}  // namespace

std::wstring InstallationRules() {
  return kit::ReadSetupString(L"InstallPath") + quarvel::kRulesFileName;
}

void ProbeSettingsOf(const quarvel::Edition& edition, const std::string& path,
                     quarvel::ProbeSettings* settings) {
  quarvel::BuiltInProbeSettings(quarvel::kProbeUrl, edition.defaultUrl, settings);
  if (edition.readsProbeSection) {
    quarvel::ReadProbeSettings({ReadProfile, path.c_str()}, quarvel::kProbeUrl,
                               edition.defaultUrl, settings);
  }
  if (!edition.ipLocationMarkerCounts) settings->ipLocationMarker = nullptr;
}

Report Lint(const quarvel::Edition& edition, const std::string& path, const std::string& bytes) {
  Report report;
  bool encodingProblem = false;
  report.encoding = Encoding(bytes, &encodingProblem);
  if (encodingProblem) report.sound = false;
  std::vector<RawEntry> entries = Entries(bytes);
  CheckProvinces(edition, path, entries, &report);
  CheckProbe(edition, path, &report);
  CheckNames(edition, entries, &report);
  for (const Finding& f : report.findings) {
    if (f.problem) report.sound = false;
  }
  return report;
}

}  // namespace lint
