// A rules file held in memory: "Section.Key" -> value, every read recorded.
#ifndef QUARVEL_TESTS_NATIVE_MEMORYRULES_H
#define QUARVEL_TESTS_NATIVE_MEMORYRULES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "classify/Provinces.h"

namespace quarvel {

struct MemoryRules {
  std::map<std::string, std::string> values;
  std::string keysRead;  // "Key,Key,..."

  RulesSource Source() const { return {Read, this}; }

  static std::size_t Read(const void* context, const char* section, const char* key,
                          char* value, std::size_t capacity) {
    auto* rules = static_cast<MemoryRules*>(const_cast<void*>(context));
    rules->keysRead += std::string(rules->keysRead.empty() ? "" : ",") + key;
    auto found = rules->values.find(std::string(section) + "." + key);
    if (found == rules->values.end()) return 0;
    std::size_t n = std::min(found->second.size(), capacity - 1);
    std::memcpy(value, found->second.data(), n);
    return n;
  }
};

}  // namespace quarvel

#endif
