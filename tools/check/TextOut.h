// Showing the library's texts: narrow text in the system ANSI code page and
// UTF-16 page addresses, made visible (control characters escaped) or
// escaped for JSON, and written to a console in its own terms or elsewhere
// as UTF-8.
#ifndef QUARVEL_TOOLS_CHECK_TEXTOUT_H
#define QUARVEL_TOOLS_CHECK_TEXTOUT_H

#include <windows.h>

#include <cstddef>
#include <string>

namespace textout {

// C-style escapes for control characters, backslash and double quote
// (\r \n \t \\ \" \xNN); bytes that form no character of the ANSI code page
// are shown as \xNN too. With breakLines, a real line break follows each \n.
std::wstring VisibleNarrow(const char* bytes, std::size_t length, bool breakLines = false);
std::wstring VisibleWide(const wchar_t* text, std::size_t length);

// A JSON string literal, quotes included. Bytes that form no character of
// the ANSI code page become U+FFFD.
std::wstring JsonNarrow(const char* bytes, std::size_t length);
std::wstring JsonWide(const wchar_t* text, std::size_t length);

// The text in the system ANSI code page, as the library takes narrow text.
std::string Ansi(const std::wstring& text);

// The system's own words for a Win32 error, without the closing line break
// and period; "" when it has none.
std::wstring SystemReason(DWORD error);

// Writes text to a console with its wide API, to anything else as UTF-8.
void Write(HANDLE handle, const std::wstring& text);

}  // namespace textout

#endif
