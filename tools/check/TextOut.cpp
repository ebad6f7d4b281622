#include "tools/check/TextOut.h"

#include <algorithm>

namespace textout {
namespace {

constexpr std::size_t kLongestCharacter = 4;  // bytes of one ANSI character
constexpr wchar_t kReplacement = 0xFFFD;
constexpr DWORD kConsoleChunk = 4096;  // units per WriteConsoleW call

// The escapes both forms share, and those only JSON names.
const struct {
  wchar_t unit;
  const wchar_t* escape;
  bool jsonOnly;
} kEscapes[] = {{L'\r', L"\\r", false}, {L'\n', L"\\n", false},  {L'\t', L"\\t", false},
                {L'\\', L"\\\\", false}, {L'"', L"\\\"", false}, {L'\b', L"\\b", true},
                {L'\f', L"\\f", true}};

void AppendHex(std::wstring* out, const wchar_t* prefix, unsigned value, int digits) {
  out->append(prefix);
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    unsigned digit = (value >> shift) & 0xF;
    out->push_back(static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'A' + digit - 10));
  }
}

// One UTF-16 unit: as it is, by its escape, or as \xNN (visible form: control
// characters and DEL) or \uNNNN (JSON: control characters).
void AppendUnit(std::wstring* out, wchar_t unit, bool json) {
  for (const auto& e : kEscapes) {
    if (e.unit == unit && (json || !e.jsonOnly)) {
      out->append(e.escape);
      return;
    }
  }
  if (unit < 0x20 || (!json && unit == 0x7F)) {
    AppendHex(out, json ? L"\\u" : L"\\x", unit, json ? 4 : 2);
  } else {
    out->push_back(unit);
  }
}

// Narrow text: ASCII unit by unit, other characters decoded from the ANSI
// code page; a byte that starts none is \xNN (visible) or U+FFFD (JSON).
std::wstring Narrow(const char* bytes, std::size_t length, bool json, bool breakLines) {
  std::wstring out;
  for (std::size_t at = 0; at < length;) {
    unsigned char byte = static_cast<unsigned char>(bytes[at]);
    if (byte < 0x80) {
      AppendUnit(&out, byte, json);
      if (breakLines && byte == '\n' && at + 1 < length) out.push_back(L'\n');
      ++at;
      continue;
    }
    wchar_t units[2];
    int count = 0;
    std::size_t used = 1;
    for (std::size_t n = 1; count == 0 && n <= length - at && n <= kLongestCharacter; ++n) {
      count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes + at, static_cast<int>(n),
                                  units, 2);
      if (count > 0) used = n;
    }
    if (count > 0) {
      out.append(units, static_cast<std::size_t>(count));
    } else if (json) {
      out.push_back(kReplacement);
    } else {
      AppendHex(&out, L"\\x", byte, 2);
    }
    at += used;
  }
  return out;
}

std::wstring Wide(const wchar_t* text, std::size_t length, bool json) {
  std::wstring out;
  for (std::size_t i = 0; i < length; ++i) AppendUnit(&out, text[i], json);
  return out;
}

std::string Encode(const std::wstring& text, UINT codePage) {
  int units = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(codePage, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), units, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring VisibleNarrow(const char* bytes, std::size_t length, bool breakLines) {
  return Narrow(bytes, length, false, breakLines);
}
std::wstring VisibleWide(const wchar_t* text, std::size_t length) {
  return Wide(text, length, false);
}
std::wstring JsonNarrow(const char* bytes, std::size_t length) {
  return L"\"" + Narrow(bytes, length, true, false) + L"\"";
}
std::wstring JsonWide(const wchar_t* text, std::size_t length) {
  return L"\"" + Wide(text, length, true) + L"\"";
}

std::string Ansi(const std::wstring& text) { return Encode(text, CP_ACP); }

void Write(HANDLE handle, const std::wstring& text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(handle, &mode)) {
    for (std::size_t at = 0; at < text.size(); at += kConsoleChunk) {
      DWORD units = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, kConsoleChunk));
      WriteConsoleW(handle, text.data() + at, units, &written, nullptr);
    }
    return;
  }
  std::string bytes = Encode(text, CP_UTF8);
  for (std::size_t at = 0; at < bytes.size(); at += written) {
    if (!WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written,
                   nullptr) || written == 0) {
      return;
    }
  }
}

std::wstring SystemReason(DWORD error) {
  wchar_t text[256] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text / sizeof text[0], nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.')) --n;
  return std::wstring(text, n);
}

}  // namespace textout
