// Matching a redirect target against a rules-file value, and the bounded copy
// of a page address into the host's UTF-16 buffer. Portable.
#ifndef QUARVEL_CLASSIFY_RULEMATCH_H
#define QUARVEL_CLASSIFY_RULEMATCH_H

#include <cstddef>
#include <cstdint>

namespace quarvel {

// Size of every value read from the rules file, terminator included.
constexpr std::size_t kRuleValueSize = 528;

// A rule hits when its needle is non-empty and occurs in target as a byte
// string (case-sensitive). Both texts are NUL-terminated; null never hits.
bool RuleHits(const char* needle, const char* target);

// Copies text with its terminator into page (pageCount UTF-16 units), cut to
// pageCount - 1 units and always terminated. Nothing is written when page is
// null or pageCount is 0; a null text is copied as the empty text. Returns
// the units copied, terminator excluded.
std::size_t CopyPageText(char16_t* page, std::uint32_t pageCount, const char16_t* text);

}  // namespace quarvel

#endif
