// The rules file "Data\Quarvel.ini" under the install path, and the steps
// every province rule shares: read a key, match it, write the page on a hit.
#ifndef QUARVEL_CLASSIFY_RULESFILE_H
#define QUARVEL_CLASSIFY_RULESFILE_H

#include <windows.h>

#include "classify/RuleMatch.h"
#include "support/Text.h"

namespace quarvel {

// The install path followed directly by "Data\Quarvel.ini", built anew on
// every call. False (path empty) only when memory runs out.
bool RulesFilePath(WideText* path);

// True when a file (not a directory) exists at path.
bool RulesFileExists(const wchar_t* path);

// Reads section/key of the rules file into value (kRuleValueSize bytes,
// zero-filled first). True when the key yields a non-empty value.
bool ReadRuleValue(const char* rulesPath, const char* section, const char* key,
                   char* value);

// A rule's hit: pageText (ANSI) converted to UTF-16 and copied into page,
// bounded by pageCount and always terminated.
void WritePage(wchar_t* page, unsigned int pageCount, const char* pageText);

}  // namespace quarvel

#endif
