#include "tools/check/RulesLint.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "classify/ProbeSettings.h"
#include "component/ProvinceCode.h"
#include "component/RulesFile.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "support/Bytes.h"
#include "support/Settings.h"
#include "tools/check/CodeNames.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace lint {
namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr std::size_t kUtf8MarkSize = 3;
const char kWineDiffers[] = " (Wine's reader skips the mark; this lint follows Windows)";
const char kSemicolon[] =
    "holds ';': a comment starts only at the start of a line, so the library takes the value "
    "whole, ';' and all";

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
                          quarvel::kTimeLimitKey, quarvel::kExpectKey}) {
    known->Add(quarvel::kProbeSection, key);
  }
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return SameName(n, name); });
}

// The rules file as the model reads it, handed to the library's own reading
// code; each read is kept with the buffer it was made into.
struct ModelRules {
  struct Read {
    std::string section, key;
    std::size_t capacity;
    std::string got;
  };
  const profile::Profile* model;
  std::vector<Read> reads;

  quarvel::RulesSource Source() { return {Take, this}; }
  static std::size_t Take(const void* context, const char* section, const char* key,
                          char* value, std::size_t capacity) {
    auto* rules = static_cast<ModelRules*>(const_cast<void*>(context));
    std::size_t n = profile::Read(*rules->model, section, key, value, capacity);
    rules->reads.push_back({section, key, capacity, std::string(value, n)});
    return n;
  }
  const Read* Of(const char* key) const {
    for (const Read& read : reads) {
      if (read.key == key) return &read;
    }
    return nullptr;
  }
};

bool IsUtf8(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    unsigned char lead = static_cast<unsigned char>(bytes[at]);
    std::size_t trail = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2
                        : (lead & 0xF8) == 0xF0 ? 3 : 4;
    if (trail == 4 || lead == 0xC0 || lead == 0xC1 || at + trail >= bytes.size()) return false;
    for (std::size_t i = 1; i <= trail; ++i) {
      if ((static_cast<unsigned char>(bytes[at + i]) & 0xC0) != 0x80) return false;
    }
    at += trail + 1;
  }
  return true;
}

std::string Encoding(const profile::Profile& model, const std::string& bytes, bool* problem) {
  *problem = false;
  if (model.encoding == profile::Encoding::kUtf16) {
    return "UTF-16 with its byte-order mark (Notepad's Unicode): Windows reads it as "
           "Unicode, and the library's A call gets every value converted to the ANSI code page: "
           "a character that code page lacks comes out as '?' or a look-alike";
  }
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
    *problem = true;
    return "UTF-16 big-endian: Windows does not recognise its mark and reads the bytes as "
           "they are, so no section or key is found";
  }
  bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
  if (bytes.compare(0, kUtf8MarkSize, kUtf8Mark) == 0) {
    return std::string("UTF-8 with a byte-order mark: Windows does not recognise the mark, whose "
                       "bytes are the start of line 1; values are taken as UTF-8 bytes") +
           kWineDiffers;
  }
  if (ascii) return "ASCII: values are taken as they are";
  return IsUtf8(bytes) ? "UTF-8 without a byte-order mark: values are taken as UTF-8 bytes, "
                         "matched byte for byte (a GBK page never holds them)"
                       : "GBK: values are taken as they are";
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
  if (value.find(';') != std::string::npos) return kSemicolon;
  bool control = std::any_of(value.begin(), value.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  return control ? "holds a control character: never occurs in a redirect target" : "";
}

// Values longer than the buffer the library read them into.
void CheckLengths(const ModelRules& rules, Report* report) {
  for (const ModelRules::Read& read : rules.reads) {
    const profile::Line* line = profile::FindKey(*rules.model, read.section.c_str(),
                                                 read.key.c_str());
    if (line == nullptr || line->value.size() < read.capacity) continue;
    report->findings.push_back(
        {read.section, read.key, line->number,
         std::to_string(line->value.size()) + " bytes: the library reads this value into " +
             std::to_string(read.capacity) + " bytes and keeps the first " +
             std::to_string(read.capacity - 1),
         true});
  }
}

void CheckProvinces(const quarvel::Edition& edition, const profile::Profile& model,
                    const Deployment& deployment, Report* report) {
  for (std::size_t p = 0; p < edition.provinces->count; ++p) {
    const quarvel::Province& province = edition.provinces->provinces[p];
    Province summary{province.section, std::string(province.code, province.code + 2), {}, {}};
    // Without a target no rule hits, so the library's own code reads every key.
    ModelRules rules{&model, {}};
    quarvel::RuleValues values = {};
    quarvel::FindRuleHit(province, rules.Source(), "", &values);
    for (std::size_t r = 0; r < province.ruleCount; ++r) {
      const quarvel::ProvinceRule& rule = province.rules[r];
      bool present = profile::FindKey(model, province.section, rule.key) != nullptr;
      Value v{province.section, rule.key, present, values.text[r], ""};
      v.note = ValueNote(rule, v.present, v.value);
      if (!present && deployment.province == &province) {
        v.note = "the deployment's province (" + deployment.why + ") never recognises " +
                 codes::DisconName(rule.code) + " without it";
      }
      if (!v.note.empty()) report->sound = false;
      // A switch given an address still switches its rule on.
      bool works =
          !v.value.empty() && (v.note.empty() || rule.page == quarvel::PageSource::kProbeUrl);
      (works ? summary.recognised : summary.missed).push_back(codes::DisconName(rule.code));
      report->values.push_back(v);
    }
    CheckLengths(rules, report);
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

// The edition's probe settings read by the library's own code from model;
// reads, when given, keeps what that code read.
void ReadProbe(const quarvel::Edition& edition, const profile::Profile& model,
               quarvel::ProbeSettings* settings, ModelRules* reads) {
  ModelRules own{&model, {}};
  ModelRules* rules = reads != nullptr ? reads : &own;
  const quarvel::RulesSource source = rules->Source();
  quarvel::EditionProbeSettings(edition, &source, settings);
}

// A list in Url of which some addresses are skipped: how many, and the ones
// the check tries, in order.
std::string ProbeListNote(const quarvel::ProbeSettings& settings) {
  std::string note = std::to_string(settings.probeUrlsRefused) +
                     " listed address(es) skipped (no http:// address a request can be sent to, "
                     "or past the fourth); the check tries";
  for (std::size_t i = 0; i < settings.probeUrlCount; ++i) {
    note += std::string(i == 0 ? " " : ", then ") + settings.probeUrls[i];
  }
  return note;
}

void CheckProbe(const quarvel::Edition& edition, const profile::Profile& model, Report* report) {
  if (!edition.readsProbeSection) return;
  quarvel::ProbeSettings settings;
  ModelRules rules{&model, {}};
  ReadProbe(edition, model, &settings, &rules);
  const struct {
    const char* key;
    quarvel::SettingState state;
    quarvel::LogPoint refusal;
  } items[] = {
      {quarvel::kProbeUrlKey, settings.probeUrlState, quarvel::LogPoint::kProbeUrlRefused},
      {quarvel::kIpLocationUrlKey, settings.defaultUrlState,
       quarvel::LogPoint::kIpLocationUrlRefused},
      {quarvel::kMarkerKey, settings.markerState, quarvel::LogPoint::kMarkerRefused},
      {quarvel::kTimeLimitKey, settings.timeLimitState, quarvel::LogPoint::kTimeLimitRefused},
      {quarvel::kExpectKey, settings.expectState, quarvel::LogPoint::kExpectRefused},
  };
  for (const auto& item : items) {
    const ModelRules::Read* read = rules.Of(item.key);
    Value v{quarvel::kProbeSection, item.key,
            profile::FindKey(model, quarvel::kProbeSection, item.key) != nullptr,
            read != nullptr ? read->got : "", ""};
    if (item.state == quarvel::SettingState::kRefused) {
      v.note = "refused: " + LogMessage(edition, item.refusal);
      report->sound = false;
    } else if (item.refusal == quarvel::LogPoint::kProbeUrlRefused && settings.probeUrlsRefused > 0) {
      v.note = ProbeListNote(settings);
      report->sound = false;
    }
    report->values.push_back(v);
  }
  CheckLengths(rules, report);
}

bool HasFullWidthSign(const std::string& text) {
  // ＝ ［ ］ in GBK and in UTF-8.
  for (const char* sign : {"\xA3\xBD", "\xA3\xDB", "\xA3\xDD", "\xEF\xBC\x9D", "\xEF\xBC\xBB",
                           "\xEF\xBC\xBD"}) {
    if (text.find(sign) != std::string::npos) return true;
  }
  return false;
}

// What a line that is neither a header, a key nor a comment means, and
// whether it is a problem.
Finding Unreadable(const profile::Profile& model, const profile::Line& line) {
  Finding f{"", "", line.number, "", true};
  if (line.section > 0) f.section = model.lines[line.section - 1].name;
  bool marked = line.number == 1 && line.text.compare(0, kUtf8MarkSize, kUtf8Mark) == 0;
  std::string rest = marked ? line.text.substr(kUtf8MarkSize) : "";
  std::size_t first = rest.find_first_not_of(" \t");
  char opening = first == std::string::npos ? ';' : rest[first];
  if (marked && opening == '[') {
    f.text = "starts with a UTF-8 byte-order mark: Windows reads the mark as part of the line, "
             "so it is no section header and " + rest.substr(first) +
             " with its keys is never read" + kWineDiffers;
  } else if (marked && opening == ';') {
    f.problem = false;
    f.text = std::string("a UTF-8 byte-order mark before a comment: Windows reads it as part of "
                         "the line, which changes nothing") + kWineDiffers;
  } else if (line.kind == profile::LineKind::kUnclosed) {
    f.text = "a '[' without ']' is no section header: the keys below it stay in " +
             (f.section.empty() ? std::string("no section") : "[" + f.section + "]");
  } else if (HasFullWidthSign(line.text)) {
    f.text = "holds a full-width '=', '[' or ']' (GBK A3BD, A3DB, A3DD): neither a header nor a "
             "key, the line is ignored";
  } else if (line.text[0] == '#') {
    f.problem = false;
    f.text = "ignored, as a comment would be (';' starts a comment)";
  } else {
    f.text = "neither a [section] header, a key=value line nor a ';' comment: ignored";
  }
  return f;
}

// The first line above line of its kind, section and name, or null.
const profile::Line* Earlier(const profile::Profile& model, const profile::Line& line) {
  for (const profile::Line& other : model.lines) {
    if (other.number >= line.number) break;
    bool sameSection = line.kind == profile::LineKind::kHeader || other.section == line.section;
    if (other.kind == line.kind && sameSection && SameName(other.name, line.name)) return &other;
  }
  return nullptr;
}

// A key line's value as the edition reads it: a ';' kept in a [Probe] value
// (a rule's value says it itself), a value cut at a lone CR in a file whose
// lines end with LF (in a file of lone CRs each one ends a line, as meant).
void CheckValue(const profile::Profile& model, const profile::Line& line,
                const std::string& section, bool lfEnds, Report* report) {
  if (line.lossy) {
    report->findings.push_back({section, line.name, line.number,
                                "holds characters the ANSI code page lacks: the library's A call "
                                "gets '?' or a look-alike in their place",
                                true});
  }
  if (SameName(section, quarvel::kProbeSection) && line.value.find(';') != std::string::npos) {
    report->findings.push_back({section, line.name, line.number, kSemicolon, false});
  }
  std::size_t next = static_cast<std::size_t>(line.number);  // index of the line below
  if (lfEnds && line.endsAtLoneCr && next < model.lines.size() &&
      model.lines[next].kind != profile::LineKind::kBlank) {
    report->findings.push_back({section, line.name, line.number,
                                "holds a CR: Windows ends the line there, the value with it, and "
                                "reads the rest as line " + std::to_string(next + 1),
                                true});
  }
}

// Each line as the edition reads it: lines it cannot read, names no edition
// or not this one reads, sections and keys given twice, and the values of
// the keys it reads.
void CheckLines(const quarvel::Edition& edition, const profile::Profile& model, Report* report) {
  Known any, own;
  AddEdition(quarvel::kCurrentEdition, &any);
  AddEdition(quarvel::kEarlierEdition, &any);
  AddEdition(edition, &own);
  bool lfEnds = std::any_of(model.lines.begin(), model.lines.end(), [&](const profile::Line& l) {
    return !l.endsAtLoneCr && &l != &model.lines.back();
  });
  for (const profile::Line& line : model.lines) {
    using Kind = profile::LineKind;
    if (line.kind == Kind::kBlank || line.kind == Kind::kComment) continue;
    if (line.kind == Kind::kOther || line.kind == Kind::kUnclosed) {
      report->findings.push_back(Unreadable(model, line));
      continue;
    }
    const profile::Line* header = line.section > 0 ? &model.lines[line.section - 1] : nullptr;
    std::string section = header != nullptr ? header->name : "";
    Finding f{section, line.kind == Kind::kKey ? line.name : "", line.number, "", true};
    const profile::Line* first = Earlier(model, line);
    if (line.kind == Kind::kHeader) {
      if (first != nullptr) {
        f.text = "given twice: only the section at line " + std::to_string(first->number) +
                 " counts, the keys here are never read";
      } else if (Contains(own.sections, section)) {
        continue;
      } else {
        f.problem = !Contains(any.sections, section);
        std::string nearest = Nearest(section, any.sections);
        f.text = f.problem ? "ignored: no edition reads this section" +
                                 (nearest.empty() ? "" : "; nearest: [" + nearest + "]")
                           : "ignored: this edition does not read this section";
      }
    } else if (header == nullptr) {
      f.text = "above every section header: in no section, never read";
    } else if (Earlier(model, *header) != nullptr || !Contains(any.sections, section) ||
               !Contains(own.sections, section)) {
      continue;  // said of its section
    } else if (!Contains(any.KeysOf(section), line.name)) {
      std::string nearest = Nearest(line.name, any.KeysOf(section));
      f.text = "ignored: no edition reads this key" +
               (nearest.empty() ? "" : "; nearest: " + nearest);
    } else if (!Contains(own.KeysOf(section), line.name)) {
      f.problem = false;
      f.text = "ignored: this edition does not read this key";
    } else if (first != nullptr) {
      f.text = "given twice: only line " + std::to_string(first->number) + " counts";
    } else {
      CheckValue(model, line, section, lfEnds, report);
      continue;
    }
    report->findings.push_back(f);
  }
}

}  // namespace

std::wstring InstallationRules() {
  return kit::ReadSetupString(L"InstallPath") + quarvel::kRulesFileName;
}

Deployment InstallationProvince(const quarvel::Edition& edition) {
  std::wstring channel = kit::ReadSetupString(L"channel");
  std::size_t begin = 0, len = 0;
  if (!quarvel::CutProvinceCode(reinterpret_cast<const char16_t*>(channel.c_str()),
                                channel.size(), &begin, &len)) {
    return {};
  }
  return {quarvel::FindProvince(*edition.provinces, channel.substr(begin, len).c_str()),
          "the setup key's channel"};
}

const quarvel::Province* ProvinceNamed(const quarvel::Edition& edition,
                                       const std::wstring& name) {
  for (std::size_t p = 0; p < edition.provinces->count; ++p) {
    const quarvel::Province& province = edition.provinces->provinces[p];
    if (name == province.code || SameName(textout::Ansi(name), province.section)) {
      return &province;
    }
  }
  return nullptr;
}

std::string SystemAnsi(const char16_t* units, std::size_t count, bool* lossy) {
  const auto* wide = reinterpret_cast<const wchar_t*>(units);
  int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), nullptr, 0, nullptr,
                              nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), &out[0], n, nullptr, nullptr);
  }
  // What comes back from the code page tells a '?' or a look-alike.
  std::wstring back(out.size(), L'\0');
  int m = out.empty() ? 0
                      : MultiByteToWideChar(CP_ACP, 0, out.data(), static_cast<int>(out.size()),
                                            &back[0], static_cast<int>(back.size()));
  *lossy = static_cast<std::size_t>(m) != count || back.compare(0, count, wide, count) != 0;
  return out;
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes, std::wstring* why) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = L"is a folder, not a file";
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  bool read = file != INVALID_HANDLE_VALUE;
  char chunk[1 << 16];
  for (DWORD n = 0; read && (read = ReadFile(file, chunk, sizeof chunk, &n, nullptr)) && n > 0;) {
    bytes->append(chunk, n);
  }
  if (file != INVALID_HANDLE_VALUE) {
    if (!read) error = GetLastError();
    CloseHandle(file);
  }
  if (read) return true;
  const std::wstring words = textout::SystemReason(error);
  *why = (words.empty() ? L"cannot be read" : words) + L" (error " + std::to_wstring(error) + L")";
  return false;
}

void ProbeSettingsOf(const quarvel::Edition& edition, const std::string& bytes,
                     quarvel::ProbeSettings* settings) {
  profile::Profile model = profile::Parse(bytes.data(), bytes.size(), SystemAnsi);
  ReadProbe(edition, model, settings, nullptr);
}

Report Lint(const quarvel::Edition& edition, const std::string& bytes,
            const Deployment& deployment) {
  Report report;
  profile::Profile model = profile::Parse(bytes.data(), bytes.size(), SystemAnsi);
  bool encodingProblem = false;
  report.encoding = Encoding(model, bytes, &encodingProblem);
  if (encodingProblem) report.sound = false;
  auto is = [&](profile::LineKind kind) {
    return [kind](const profile::Line& line) { return line.kind == kind; };
  };
  if (std::all_of(model.lines.begin(), model.lines.end(), is(profile::LineKind::kBlank))) {
    report.findings.push_back(
        {"", "", 0, "empty: the library finds no section and no value", true});
  } else if (std::none_of(model.lines.begin(), model.lines.end(),
                          is(profile::LineKind::kHeader))) {
    report.findings.push_back(
        {"", "", 0, "no section header: the library finds no value", true});
  }
  CheckProvinces(edition, model, deployment, &report);
  CheckProbe(edition, model, &report);
  CheckLines(edition, model, &report);
  for (const Finding& f : report.findings) {
    if (f.problem) report.sound = false;
  }
  return report;
}

}  // namespace lint
