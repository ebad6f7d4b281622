#include "classify/Provinces.h"

#include <cstring>
#include <cwchar>

namespace quarvel {

const Province* FindProvince(const ProvinceTable& table, const wchar_t* code) {
  if (code == nullptr) return nullptr;
  for (std::size_t i = 0; i < table.count; ++i) {
    if (std::wcscmp(table.provinces[i].code, code) == 0) return &table.provinces[i];
  }
  return nullptr;
}

namespace {

bool ReadRule(const Province& province, std::size_t i, const RulesSource& rules,
              RuleValues* values) {
  char* value = values->text[i];
  std::memset(value, 0, kRuleValueSize);
  return rules.read(rules.context, province.section, province.rules[i].key, value,
                    kRuleValueSize) != 0;
}

}  // namespace

int FindRuleHit(const Province& province, const RulesSource& rules, const char* target,
                RuleValues* values) {
  std::size_t count = province.ruleCount < kMaxProvinceRules ? province.ruleCount
                                                             : kMaxProvinceRules;
  bool yields[kMaxProvinceRules] = {};
  if (province.readAllFirst) {
    for (std::size_t i = 0; i < count; ++i) yields[i] = ReadRule(province, i, rules, values);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!province.readAllFirst) yields[i] = ReadRule(province, i, rules, values);
    const ProvinceRule& rule = province.rules[i];
    const char* needle = rule.needle != nullptr ? rule.needle : values->text[i];
    if (yields[i] && RuleHits(needle, target)) return static_cast<int>(i);
  }
  return -1;
}

ProvinceDecision DecideProvinceRule(const Province& province, const RulesSource& rules,
                                    const char* target, const char* probeUrl,
                                    RuleValues* values, const ProvinceLogSink& sink) {
  if (province.introLine.message != nullptr) {
    sink.write(sink.context, province.introLine, nullptr, nullptr);
  }
  const int hit = FindRuleHit(province, rules, target, values);
  if (province.valuesLine.message != nullptr) {
    sink.write(sink.context, province.valuesLine, values->text[0], values->text[1]);
  }
  if (hit < 0) return {0, nullptr};
  const ProvinceRule& rule = province.rules[hit];
  if (rule.hitLine.message != nullptr) sink.write(sink.context, rule.hitLine, nullptr, nullptr);
  return {rule.code, rule.page == PageSource::kProbeUrl ? probeUrl : values->text[hit]};
}

}  // namespace quarvel
