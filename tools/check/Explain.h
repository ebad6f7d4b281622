// What a check went by, told from what a host can see after the call: the
// last request and answer the component keeps, the installation's setup
// values and rules file, and the edition's own record and province table. A support
// engineer reads the answer without the log.
#ifndef QUARVEL_TOOLS_CHECK_EXPLAIN_H
#define QUARVEL_TOOLS_CHECK_EXPLAIN_H

#include <windows.h>

#include <string>

#include "include/Quarvel.h"

namespace explain {

// Each text is ASCII or GBK; an empty text means "does not apply".
struct Facts {
  std::string answeredUrl;  // the URL of the last request sent, "" when none was
  std::string status;       // "200 OK", "redirect", "other" or "no answer"
  std::string marker;       // the network-up marker found, or why none was
  std::string targetFrom;   // where the redirect target was cut from
  std::string rule;         // the province rule that decided, or why none did
};

// After CheckRedirction (discon < 0) or CheckNetDisconType (discon its
// result) on component, loaded from module.
Facts AfterCheck(HMODULE module, IZHttp* component, int redirection, int discon);

}  // namespace explain

#endif
