// Windows' private-profile reading as quarvel-check models it: one row per
// rule, each naming the behaviour of GetPrivateProfileStringA it stands for.
#include "tools/check/ProfileModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace profile {
namespace {

// A stand-in for the ANSI code page 936: ASCII as it is, U+4E2D in GBK, any
// other character '?' as the system's conversion gives it.
std::string ToGbk(const char16_t* units, std::size_t count, bool* lossy) {
  std::string out;
  *lossy = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (units[i] < 0x80) out.push_back(static_cast<char>(units[i]));
    else out += units[i] == u'\u4E2D' ? "\xD6\xD0" : "?";
    *lossy = *lossy || (units[i] >= 0x80 && units[i] != u'\u4E2D');
  }
  return out;
}

// text as a UTF-16 LE file with its mark.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

constexpr std::size_t kRoomy = 64;
const char* const kMissing = nullptr;

struct Row {
  const char* windows;  // the behaviour of GetPrivateProfileStringA modelled
  std::string file;
  const char* section;
  const char* key;
  const char* value;  // what the A call gives; kMissing: the key is not found
  std::size_t capacity = kRoomy;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.windows; }

class ProfileModel : public ::testing::TestWithParam<Row> {};

TEST_P(ProfileModel, ReadsAsWindowsDoes) {
  const Row& row = GetParam();
  Profile profile = Parse(row.file.data(), row.file.size(), ToGbk);
  std::string buffer(kRoomy + 1, 'x');
  std::size_t copied = Read(profile, row.section, row.key, &buffer[0], row.capacity);
  std::string expected = row.value == kMissing ? "" : row.value;
  EXPECT_EQ(copied, expected.size());
  if (row.capacity > 0) EXPECT_EQ(buffer.substr(0, copied + 1), expected + '\0');
  EXPECT_EQ(buffer.find_first_not_of('x', row.capacity), std::string::npos)
      << "written past the capacity";
  const Line* line = FindKey(profile, row.section, row.key);
  EXPECT_EQ(line != nullptr, row.value != kMissing);
  if (line != nullptr) EXPECT_EQ(line->lossy, expected.find('?') != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileModel,
    ::testing::Values(
        Row{"an ANSI file's bytes are the value's bytes (GBK)", "[S]\r\nk=\xD6\xD0\r\n", "S", "k",
            "\xD6\xD0"},
        Row{"a UTF-16 LE file with its mark is read as Unicode, converted for the A call",
            Utf16File(u"[S]\r\nk=\u4E2D\r\n"), "S", "k", "\xD6\xD0"},
        Row{"UTF-16: a character the ANSI code page lacks comes out as the conversion gives it",
            Utf16File(u"[S]\r\nk=a\u00E9b"), "S", "k", "a?b"},
        Row{"UTF-16: a full-width sign is no '=', even where the conversion maps it to one",
            Utf16File(u"[S]\r\nk\uFF1Dv\r\nj=v"), "S", "k", kMissing},
        Row{"a UTF-8 mark is not recognised: on the header's line it hides the section",
            "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", kMissing},
        Row{"a UTF-8 mark before a comment line is harmless",
            "\xEF\xBB\xBF; rules\r\n[S]\r\nk=v\r\n", "S", "k", "v"},
        Row{"a UTF-16 BE mark is not recognised: the file is bytes, NULs and all",
            std::string("\xFE\xFF\0[\0S\0]\0\r\0\n\0k\0=\0v", 18), "S", "k", kMissing},
        Row{"lines end at CR LF", "[S]\r\nk=v\r\n", "S", "k", "v"},
        Row{"lines end at LF", "[S]\nk=v\n", "S", "k", "v"},
        Row{"lines end at a lone CR", "[S]\rk=v\r", "S", "k", "v"},
        Row{"a CR inside a value ends it", "[S]\r\nk=ab\rcd\r\n", "S", "k", "ab"},
        Row{"the last line needs no line end", "[S]\r\nk=v", "S", "k", "v"},
        Row{"section and key names match without regard to case", "[shanxi]\r\nACCOUNT=v",
            "ShanXi", "Account", "v"},
        Row{"blanks around the line, the names and the value are dropped",
            " \t[ S ] \r\n \t k \t= \t v w \t\r\n", "S", "k", "v w"},
        Row{"a value in double quotes loses them", "[S]\r\nk=\" v \"", "S", "k", " v "},
        Row{"a value in single quotes loses them", "[S]\r\nk='v'", "S", "k", "v"},
        Row{"quotes that do not match stay", "[S]\r\nk=\"v'", "S", "k", "\"v'"},
        Row{"a lone quote stays", "[S]\r\nk=\"", "S", "k", "\""},
        Row{"the A call copies at most capacity - 1 bytes", "[S]\r\nk=val1", "S", "k", "val", 4},
        Row{"a capacity of 1 leaves the empty text", "[S]\r\nk=a", "S", "k", "", 1},
        Row{"a capacity of 0 writes nothing", "[S]\r\nk=a", "S", "k", "", 0},
        Row{"a line without '=' is no key", "[S]\r\nname3\r\nk=v", "S", "name3", kMissing},
        Row{"a line without '=' leaves the keys below it in their section",
            "[S]\r\nname3\r\nk=v", "S", "k", "v"},
        Row{"a full-width equals sign (GBK A3 BD) makes no key", "[S]\r\nk\xA3\xBDv", "S", "k",
            kMissing},
        Row{"full-width brackets (GBK A3 DB, A3 DD) make no header", "\xA3\xDBS\xA3\xDD\r\nk=v",
            "S", "k", kMissing},
        Row{"a header without ']' opens no section", "[S]\r\n[T\r\nk=v", "T", "k", kMissing},
        Row{"keys below a header without ']' stay in the section above",
            "[S]\r\n[T\r\nk=v", "S", "k", "v"},
        Row{"text after a header's ']' is no part of its name", "[S] ; old\r\nk=v", "S", "k",
            "v"},
        Row{"of two keys with one name the first counts", "[S]\r\nk=1\r\nK=2", "S", "k", "1"},
        Row{"of two sections with one name the first counts", "[S]\r\nk=1\r\n[s]\r\nj=2", "S",
            "j", kMissing},
        Row{"a key above every header belongs to no section", "k=v\r\n[S]\r\n", "S", "k",
            kMissing},
        Row{"';' starts a comment only at the start of a line", "[S]\r\nk=url;old", "S", "k",
            "url;old"},
        Row{"a comment line is no key, '=' or not", "[S]\r\n;k=v", "S", "k", kMissing},
        Row{"the first '=' splits the key from its value", "[S]\r\nk=a=b", "S", "k", "a=b"},
        Row{"an empty file holds no key", "", "S", "k", kMissing}));

TEST(ProfileModelLines, NumbersAndKindsEveryLineAsTheLintShowsThem) {
  const std::string file = "\xEF\xBB\xBF[S]\r\n; c\r\n\r\nk = v\r[T\nx\xA3\xBDy\r\n[U]";
  Profile profile = Parse(file.data(), file.size(), ToGbk);
  const std::vector<LineKind> kinds = {LineKind::kOther,    LineKind::kComment,
                                       LineKind::kBlank,    LineKind::kKey,
                                       LineKind::kUnclosed, LineKind::kOther,
                                       LineKind::kHeader};
  ASSERT_EQ(profile.lines.size(), kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    EXPECT_EQ(profile.lines[i].number, static_cast<int>(i + 1));
    EXPECT_EQ(profile.lines[i].kind, kinds[i]) << "line " << i + 1;
  }
  EXPECT_EQ(profile.lines[3].name, "k");
  EXPECT_EQ(profile.lines[3].section, 0);  // the mark hid [S]
  EXPECT_EQ(profile.lines[6].name, "U");
  EXPECT_EQ(profile.lines[6].section, 7);
  EXPECT_EQ(profile.encoding, Encoding::kAnsi);
}

}  // namespace
}  // namespace profile
