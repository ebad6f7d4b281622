// quarvel-check's commands for the people who deploy and support the
// library: rules (lint a rules file for one edition) and log (read a user's
// log: its lines, calls and summary). Neither loads the library: both ask its
// own tables.
#ifndef QUARVEL_TOOLS_CHECK_COMMANDS_H
#define QUARVEL_TOOLS_CHECK_COMMANDS_H

#include <string>

#include "component/Edition.h"

namespace commands {

constexpr int kExitSound = 0;
constexpr int kExitProblem = 1;  // rules: something will not work; log: unreadable
constexpr int kExitUnreadable = 3;  // rules: the file cannot be read

// path empty: the rules file the setup key's install path points at;
// province (a name or code of the edition's) empty: the one the setup key's
// channel names.
int Rules(const std::wstring& path, const quarvel::Edition& edition, const std::wstring& province,
          bool json);
struct LogOptions {
  bool json = false;
  long long last = 0;        // print only the last calls, 0: all
  long long setWaitMs = -1;  // the host's SetTimeOut, -1 not known
};

// edition null: both editions' tables.
int Log(const std::wstring& path, const quarvel::Edition* edition, const LogOptions& options);

}  // namespace commands

#endif
