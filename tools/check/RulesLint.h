// quarvel-check rules: a rules file read the way one edition of the library
// reads it, with every section and key it takes, what it ignores, the file's
// encoding, the [Probe] values it refuses and the disconnect types each
// province can be recognised by. The names, rules and refusals come from the
// edition's own tables and setting code.
#ifndef QUARVEL_TOOLS_CHECK_RULESLINT_H
#define QUARVEL_TOOLS_CHECK_RULESLINT_H

#include <string>
#include <vector>

#include "classify/ProbeSettings.h"
#include "component/Edition.h"

namespace lint {

// One finding: where it is (section, key, line; empty or 0 when not one) and
// what it means. Texts are ASCII or the file's own bytes.
struct Finding {
  std::string section, key;
  int line = 0;
  std::string text;
  bool problem = false;  // something will not work as written
};

// A value the edition reads: the value as the private-profile call gives it.
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

struct Report {
  std::string encoding;
  std::vector<Value> values;
  std::vector<Finding> findings;
  std::vector<Province> provinces;
  bool sound = true;
};

// The installation's rules file: under the install path the setup key names.
std::wstring InstallationRules();

// The probe settings edition goes by with the rules file at path (ANSI).
void ProbeSettingsOf(const quarvel::Edition& edition, const std::string& path,
                     quarvel::ProbeSettings* settings);

// The file at path (ANSI) as edition reads it; bytes are its raw contents.
Report Lint(const quarvel::Edition& edition, const std::string& path, const std::string& bytes);

}  // namespace lint

#endif
