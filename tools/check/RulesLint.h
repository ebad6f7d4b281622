// quarvel-check rules: a rules file read the way one edition of the library
// reads it on Windows, with every section and key it takes, the lines it
// cannot read, what it ignores, the file's encoding, the [Probe] values it
// refuses and the disconnect types each province can be recognised by. The
// values come from the model of Windows' profile reading (ProfileModel.h)
// through the library's own reading code; the names, rules and refusals
// from the edition's own tables and setting code.
#ifndef QUARVEL_TOOLS_CHECK_RULESLINT_H
#define QUARVEL_TOOLS_CHECK_RULESLINT_H

#include <string>
#include <vector>

#include "classify/ProbeSettings.h"
#include "component/Edition.h"
#include "tools/check/ProfileModel.h"

namespace lint {

// One finding: where it is (section, key, line; empty or 0 when not one) and
// what it means. Texts are ASCII or the file's own bytes.
struct Finding {
  std::string section, key;
  int line = 0;
  std::string text;
  bool problem = false;  // something will not work as written
};

// A value the edition reads, as its own code gets it (cut to its buffer).
struct Value {
  std::string section, key;
  bool present = false;
  std::string value;
  std::string note;  // why it will not work, or ""
};

struct Province {
  std::string section, code;
  std::vector<std::string> recognised, missed;  // DisconType names
};

// The province whose missing keys are problems, and why it is the one.
struct Deployment {
  const quarvel::Province* province = nullptr;  // null: none singled out
  std::string why;  // "the setup key's channel", "--province"
};

struct Report {
  std::string encoding;
  std::vector<Value> values;
  std::vector<Finding> findings;
  std::vector<Province> provinces;
  bool sound = true;
};

// The installation's rules file: under the install path the setup key names.
std::wstring InstallationRules();

// The province of the edition the setup key's channel names, if any.
Deployment InstallationProvince(const quarvel::Edition& edition);

// The province of the edition with this section name (any case) or code.
const quarvel::Province* ProvinceNamed(const quarvel::Edition& edition, const std::wstring& name);

// UTF-16 to the system's ANSI code page, as the A call converts a Unicode
// file's text; *lossy when a character comes out otherwise.
std::string SystemAnsi(const char16_t* units, std::size_t count, bool* lossy);

// The file's bytes, or false with the system's reason.
bool ReadWholeFile(const std::wstring& path, std::string* bytes, std::wstring* why);

// The probe settings edition goes by with a rules file of these bytes.
void ProbeSettingsOf(const quarvel::Edition& edition, const std::string& bytes,
                     quarvel::ProbeSettings* settings);

// The file of these bytes as edition reads it on Windows.
Report Lint(const quarvel::Edition& edition, const std::string& bytes,
            const Deployment& deployment);

}  // namespace lint

#endif
