#include "classify/RuleMatch.h"

#include <cstring>

namespace quarvel {

bool RuleHits(const char* needle, const char* target) {
  if (!needle || !target || needle[0] == '\0') return false;
  return std::strstr(target, needle) != nullptr;
}

std::size_t CopyPageText(char16_t* page, std::uint32_t pageCount, const char16_t* text) {
  if (!page || pageCount == 0) return 0;
  std::size_t n = 0;
  if (text) {
    const std::size_t room = pageCount - 1;
    while (n < room && text[n] != u'\0') {
      page[n] = text[n];
      ++n;
    }
  }
  page[n] = u'\0';
  return n;
}

}  // namespace quarvel
