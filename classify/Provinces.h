// The provinces an edition knows, one table entry each: its code, its
// rules-file section, how its provider pages give up their target, its rules
// and its log texts. The dispatch and the redirection check walk the table;
// a new province is one entry here plus its section in the rules file.
// Portable: the rules file is read through a RulesSource.
#ifndef QUARVEL_CLASSIFY_PROVINCES_H
#define QUARVEL_CLASSIFY_PROVINCES_H

#include <cstddef>

#include "classify/RuleMatch.h"

namespace quarvel {

// How a "200 OK" provider page of the province yields its redirect target.
enum class PageCutter {
  kNone,          // no target in pages
  kEmbeddedUrl,   // "url=http://..." embedded in a portal page
  kPortalLink,    // a link to the provider portal's product page
  kMetaRefresh,   // the address of a meta refresh tag (earlier edition)
};

// Where the page address handed to the host comes from on a hit.
enum class PageSource {
  kRuleValue,  // the key's value, which is also the needle
  kProbeUrl,   // the probe page: the key only switches the rule on
};

// The disconnect types a rule can give, numbered as the host header's
// DisconType.
enum RuleCode : int {
  kErrPasswordCode = 1,
  kAccountExpireCode = 2,
  kAccountHaltCode = 4,
  kBindCheckErrCode = 5,
  kLimitUserCountCode = 6,
  kAccountHangDeadCode = 7,
};

// A fixed line of the log: "%s -> %d\n" with message and n. A null message
// writes no line.
struct LogLine {
  const char* message;
  int n;
};

struct ProvinceRule {
  const char* key;     // key of the province's section
  const char* needle;  // text sought in the target; null: the key's value
  PageSource page;     // the page address of a hit
  RuleCode code;       // DisconType of a hit
  LogLine hitLine;     // written on a hit
};

// Most rules a province has.
constexpr std::size_t kMaxProvinceRules = 5;

struct Province {
  const wchar_t* code;        // province code, compared whole
  const char* section;        // section of the rules file
  PageCutter cutter;
  bool readAllFirst;          // every key is read before any is tried
  LogLine introLine;          // written before the rules are read
  LogLine valuesLine;         // "%s -> %d,%s,%s\n" with the first two values
  const ProvinceRule* rules;  // tried in order; the first hit decides
  std::size_t ruleCount;      // at most kMaxProvinceRules
};

struct ProvinceTable {
  const Province* provinces;
  std::size_t count;
};

// The entry whose code is exactly code, or null.
const Province* FindProvince(const ProvinceTable& table, const wchar_t* code);

// Reads section/key of the rules file into value (capacity bytes, zero-filled
// first); returns the length read, 0 for a missing or empty value.
struct RulesSource {
  std::size_t (*read)(const void* context, const char* section, const char* key, char* value,
                      std::size_t capacity);
  const void* context;
};

// The values the rules of one province read, one buffer per rule.
struct RuleValues {
  char text[kMaxProvinceRules][kRuleValueSize];
};

// Tries the province's rules in order against target: a rule hits when its
// key yields a value and its needle occurs in target. Keys are read into
// values as the rules are tried (all of them first when readAllFirst), none
// after a hit. Returns the index of the rule that hit, or -1.
int FindRuleHit(const Province& province, const RulesSource& rules, const char* target,
                RuleValues* values);

// Where a province's own lines go: line alone ("%s -> %d\n"), or with the
// two values its values line carries ("%s -> %d,%s,%s\n").
struct ProvinceLogSink {
  void (*write)(void* context, const LogLine& line, const char* valueA, const char* valueB);
  void* context;
};

// What a province's rules decide for a target.
struct ProvinceDecision {
  int code;              // the hit rule's code; 0 (Unclassified) when none hits
  const char* pageText;  // the page address to hand out (ANSI); null when none hits
};

// The province's rule set applied to target: its intro line, its rules tried
// in order (FindRuleHit into values), its values line and, on a hit, the hit
// line, each to sink. The page of a hit is its value in values, or probeUrl
// where the rule only switches the probe page on.
ProvinceDecision DecideProvinceRule(const Province& province, const RulesSource& rules,
                                    const char* target, const char* probeUrl,
                                    RuleValues* values, const ProvinceLogSink& sink);

}  // namespace quarvel

#endif
