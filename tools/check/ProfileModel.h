// Windows' private-profile reading (GetPrivateProfileStringA) over a file's
// bytes, so that quarvel-check tells what the library gets from a rules file
// on Windows, on any machine and under Wine alike. Portable: the one
// conversion it needs, UTF-16 to the ANSI code page, is the caller's.
//
// What it follows (the README's operator section gives the source of each):
// - A file that starts with FF FE is UTF-16 LE; the A call hands out its
//   names and values converted to the ANSI code page. Every other file is
//   bytes of the ANSI code page, taken as they are: a UTF-8 mark (EF BB BF)
//   is not recognised and its bytes are the start of line 1.
// - A line ends at CR LF, at LF or at a lone CR.
// - Blanks (space, tab) around a line, a name or a value are not part of it.
// - "[name]" opens a section named by what lies between '[' and the last ']'.
//   A line that starts with '[' but has no ']' opens nothing.
// - A line that starts with ';' is a comment.
// - "key=value" splits at the first '='. A value in matching double or
//   single quotes loses them.
// - Any other line names nothing: the keys below it stay in the section
//   above it.
// - Names match without regard to ASCII case; of two sections, or two keys
//   of one section, with one name, the first counts.
// - The A call copies at most capacity - 1 bytes of the value and a NUL.
#ifndef QUARVEL_TOOLS_CHECK_PROFILEMODEL_H
#define QUARVEL_TOOLS_CHECK_PROFILEMODEL_H

#include <cstddef>
#include <string>
#include <vector>

namespace profile {

// Converts count UTF-16 units to the ANSI code page; *lossy tells whether a
// character came out otherwise (as '?' or a look-alike).
using ToAnsi = std::string (*)(const char16_t* units, std::size_t count, bool* lossy);

enum class Encoding {
  kAnsi,   // bytes as they are (ASCII, GBK, UTF-8 with or without a mark)
  kUtf16,  // UTF-16 LE after its mark FF FE
};

enum class LineKind {
  kBlank,     // nothing but blanks
  kComment,   // ';' first
  kHeader,    // "[name]"
  kKey,       // "key=value"
  kUnclosed,  // '[' first and no ']': opens no section
  kOther,     // none of these: names nothing
};

struct Line {
  int number = 0;                    // from 1
  LineKind kind = LineKind::kBlank;
  int section = 0;                   // its section's header line (a header's own); 0: none
  bool endsAtLoneCr = false;         // a CR without LF ends it
  bool lossy = false;                // a UTF-16 value the A call cannot give as the file holds it
  std::string text;                  // the line without its blanks, in ANSI
  std::string name;                  // a header's section or a key, in ANSI
  std::string value;                 // a key's value as the A call gives it, uncut
  std::u16string key;                // the name as the file holds it, matched against those asked
};

struct Profile {
  Encoding encoding = Encoding::kAnsi;
  std::vector<Line> lines;
};

// The file's length bytes read as Windows' profile calls read them.
Profile Parse(const char* bytes, std::size_t length, ToAnsi toAnsi);

// The header of the first section named section, or null.
const Line* FindSection(const Profile& profile, const char* section);

// The line GetPrivateProfileStringA(section, key, ...) takes its value from,
// or null when the key is missing.
const Line* FindKey(const Profile& profile, const char* section, const char* key);

// What GetPrivateProfileStringA(section, key, "", value, capacity) leaves in
// value: the value cut to capacity - 1 bytes and a NUL ("" when missing).
// Returns the bytes copied; capacity 0 writes nothing.
std::size_t Read(const Profile& profile, const char* section, const char* key, char* value,
                 std::size_t capacity);

}  // namespace profile

#endif
