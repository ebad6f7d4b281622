#include "tools/check/TextOut.h"

#include <algorithm>

namespace textout {
namespace {

constexpr std::size_t kLongestCharacter = 4;  // bytes of one ANSI character
constexpr wchar_t kReplacement = 0xFFFD;
constexpr DWORD kConsoleChunk = 4096;  // units per WriteConsoleW call

// The next character of narrow text: its UTF-16 units (none when the bytes
// form no character) and the bytes it took.
struct Decoded {
  wchar_t units[2];
  int count;
  std::size_t used;
};

Decoded DecodeNext(const char* bytes, std::size_t left) {
  Decoded d = {{0, 0}, 0, 1};
  for (std::size_t n = 1; n <= left && n <= kLongestCharacter; ++n) {
    int got =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(n), d.units, 2);
    if (got > 0) {
      d.count = got;
      d.used = n;
      return d;
    }
  }
  return d;
}

wchar_t HexDigit(unsigned value) {
  return static_cast<wchar_t>(value < 10 ? L'0' + value : L'A' + value - 10);
}

void AppendHex(std::wstring* out, const wchar_t* prefix, unsigned value, int digits) {
  out->append(prefix);
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out->push_back(HexDigit((value >> shift) & 0xF));
  }
}

bool IsControl(unsigned unit) { return unit < 0x20 || unit == 0x7F; }

// Escape of one ASCII unit for the visible form, or false when it stands as
// it is.
bool AppendVisibleEscape(std::wstring* out, unsigned unit) {
  switch (unit) {
    case '\r': out->append(L"\\r"); return true;
    case '\n': out->append(L"\\n"); return true;
    case '\t': out->append(L"\\t"); return true;
    case '\\': out->append(L"\\\\"); return true;
    case '"': out->append(L"\\\""); return true;
    default:
      if (!IsControl(unit)) return false;
      AppendHex(out, L"\\x", unit, 2);
      return true;
  }
}

bool AppendJsonEscape(std::wstring* out, unsigned unit) {
  switch (unit) {
    case '\r': out->append(L"\\r"); return true;
    case '\n': out->append(L"\\n"); return true;
    case '\t': out->append(L"\\t"); return true;
    case '\b': out->append(L"\\b"); return true;
    case '\f': out->append(L"\\f"); return true;
    case '\\': out->append(L"\\\\"); return true;
    case '"': out->append(L"\\\""); return true;
    default:
      if (unit >= 0x20) return false;
      AppendHex(out, L"\\u", unit, 4);
      return true;
  }
}

}  // namespace

std::wstring VisibleNarrow(const char* bytes, std::size_t length, bool breakLines) {
  std::wstring out;
  std::size_t at = 0;
  while (at < length) {
    unsigned char byte = static_cast<unsigned char>(bytes[at]);
    if (byte < 0x80) {
      if (!AppendVisibleEscape(&out, byte)) out.push_back(static_cast<wchar_t>(byte));
      if (breakLines && byte == '\n' && at + 1 < length) out.push_back(L'\n');
      ++at;
      continue;
    }
    Decoded d = DecodeNext(bytes + at, length - at);
    if (d.count == 0) {
      AppendHex(&out, L"\\x", byte, 2);
    } else {
      out.append(d.units, static_cast<std::size_t>(d.count));
    }
    at += d.used;
  }
  return out;
}

std::wstring VisibleWide(const wchar_t* text, std::size_t length) {
  std::wstring out;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned unit = text[i];
    if (unit >= 0x80 || !AppendVisibleEscape(&out, unit)) out.push_back(text[i]);
  }
  return out;
}

std::wstring JsonNarrow(const char* bytes, std::size_t length) {
  std::wstring out = L"\"";
  std::size_t at = 0;
  while (at < length) {
    unsigned char byte = static_cast<unsigned char>(bytes[at]);
    if (byte < 0x80) {
      if (!AppendJsonEscape(&out, byte)) out.push_back(static_cast<wchar_t>(byte));
      ++at;
      continue;
    }
    Decoded d = DecodeNext(bytes + at, length - at);
    if (d.count == 0) {
      out.push_back(kReplacement);
    } else {
      out.append(d.units, static_cast<std::size_t>(d.count));
    }
    at += d.used;
  }
  return out + L"\"";
}

std::wstring JsonWide(const wchar_t* text, std::size_t length) {
  std::wstring out = L"\"";
  for (std::size_t i = 0; i < length; ++i) {
    unsigned unit = text[i];
    if (unit >= 0x80 || !AppendJsonEscape(&out, unit)) out.push_back(text[i]);
  }
  return out + L"\"";
}

namespace {

std::string Encode(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  int units = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(codePage, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), units, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Utf8(const std::wstring& text) { return Encode(text, CP_UTF8); }

std::string Ansi(const std::wstring& text) { return Encode(text, CP_ACP); }

void Write(HANDLE handle, const std::wstring& text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    for (std::size_t at = 0; at < text.size(); at += kConsoleChunk) {
      DWORD units = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, kConsoleChunk));
      DWORD written = 0;
      WriteConsoleW(handle, text.data() + at, units, &written, nullptr);
    }
    return;
  }
  std::string bytes = Utf8(text);
  std::size_t at = 0;
  while (at < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    at += written;
  }
}

}  // namespace textout
