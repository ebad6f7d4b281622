#include "tools/check/ProfileModel.h"

#include <cstring>

namespace profile {
namespace {

constexpr unsigned char kUtf16Mark[] = {0xFF, 0xFE};

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

char16_t AsciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

// The file's text as units: a byte each, or a UTF-16 unit each after the mark
// (an odd last byte is no unit).
std::u16string Units(const unsigned char* bytes, std::size_t length, Encoding encoding) {
  std::u16string units;
  if (encoding == Encoding::kAnsi) {
    units.assign(bytes, bytes + length);
    return units;
  }
  units.reserve(length / 2);
  for (std::size_t at = sizeof kUtf16Mark; at + 1 < length; at += 2) {
    units.push_back(static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8));
  }
  return units;
}

std::u16string Trimmed(const std::u16string& text, std::size_t begin, std::size_t end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string Ansi(const std::u16string& units, Encoding encoding, ToAnsi toAnsi,
                 bool* lossy = nullptr) {
  bool lost = false;
  if (encoding == Encoding::kUtf16) {
    std::string ansi = toAnsi(units.data(), units.size(), &lost);
    if (lossy != nullptr) *lossy = lost;
    return ansi;
  }
  return std::string(units.begin(), units.end());  // each unit is one byte
}

// A value in matching double or single quotes, without them.
std::u16string Unquoted(const std::u16string& value) {
  bool quoted = value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') &&
                value.back() == value[0];
  return quoted ? value.substr(1, value.size() - 2) : value;
}

// One trimmed line's kind, name and value.
void Classify(const std::u16string& text, Encoding encoding, ToAnsi toAnsi, Line* line) {
  std::size_t equals = text.find(u'=');
  if (text.empty()) {
    line->kind = LineKind::kBlank;
  } else if (text[0] == u';') {
    line->kind = LineKind::kComment;
  } else if (text[0] == u'[') {
    std::size_t close = text.rfind(u']');
    line->kind = close == std::u16string::npos ? LineKind::kUnclosed : LineKind::kHeader;
    if (close != std::u16string::npos) line->key = Trimmed(text, 1, close);
  } else if (equals != std::u16string::npos) {
    line->kind = LineKind::kKey;
    line->key = Trimmed(text, 0, equals);
    line->value = Ansi(Unquoted(Trimmed(text, equals + 1, text.size())), encoding, toAnsi,
                       &line->lossy);
  } else {
    line->kind = LineKind::kOther;
  }
  line->name = Ansi(line->key, encoding, toAnsi);
  line->text = Ansi(text, encoding, toAnsi);
}

bool SameName(const std::u16string& held, const char* asked) {
  std::size_t length = std::strlen(asked);
  if (held.size() != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    char16_t unit = static_cast<unsigned char>(asked[i]);
    if (AsciiLower(held[i]) != AsciiLower(unit)) return false;
  }
  return true;
}

}  // namespace

Profile Parse(const char* bytes, std::size_t length, ToAnsi toAnsi) {
  Profile profile;
  const auto* raw = reinterpret_cast<const unsigned char*>(bytes);
  if (length >= sizeof kUtf16Mark && std::memcmp(raw, kUtf16Mark, sizeof kUtf16Mark) == 0) {
    profile.encoding = Encoding::kUtf16;
  }
  std::u16string units = Units(raw, length, profile.encoding);
  int section = 0;
  std::size_t at = 0;
  for (int number = 1; at < units.size(); ++number) {
    std::size_t end = at;
    while (end < units.size() && units[end] != u'\r' && units[end] != u'\n') ++end;
    Line line;
    line.number = number;
    Classify(Trimmed(units, at, end), profile.encoding, toAnsi, &line);
    if (line.kind == LineKind::kHeader) section = number;
    line.section = section;
    bool crLf = end + 1 < units.size() && units[end] == u'\r' && units[end + 1] == u'\n';
    line.endsAtLoneCr = end < units.size() && units[end] == u'\r' && !crLf;
    profile.lines.push_back(std::move(line));
    at = end + (crLf ? 2 : 1);
  }
  return profile;
}

const Line* FindSection(const Profile& profile, const char* section) {
  for (const Line& line : profile.lines) {
    if (line.kind == LineKind::kHeader && SameName(line.key, section)) return &line;
  }
  return nullptr;
}

const Line* FindKey(const Profile& profile, const char* section, const char* key) {
  const Line* header = FindSection(profile, section);
  if (header == nullptr) return nullptr;
  for (const Line& line : profile.lines) {
    if (line.kind == LineKind::kKey && line.section == header->number && SameName(line.key, key)) {
      return &line;
    }
  }
  return nullptr;
}

std::size_t Read(const Profile& profile, const char* section, const char* key, char* value,
                 std::size_t capacity) {
  if (capacity == 0) return 0;
  const Line* line = FindKey(profile, section, key);
  std::size_t length = line == nullptr ? 0 : line->value.size();
  if (length > capacity - 1) length = capacity - 1;
  if (length > 0) std::memcpy(value, line->value.data(), length);
  value[length] = '\0';
  return length;
}

}  // namespace profile
