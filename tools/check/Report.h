// quarvel-check report: one paste for a support ticket, made without the
// network and without loading the library: the DLL (edition, version, size,
// SHA-256), the setup key's install path and channel, the lint of the
// installation's rules file and the last calls of its log.
#ifndef QUARVEL_TOOLS_CHECK_REPORT_H
#define QUARVEL_TOOLS_CHECK_REPORT_H

#include <string>

namespace report {

constexpr long long kLastCalls = 5;

// dll: the library's full path. Text, or JSON lines: one object for the DLL
// and the setup key, then the rules command's and the log command's own.
int Report(const std::wstring& dll, bool json);

}  // namespace report

#endif
