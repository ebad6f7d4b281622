#include "component/ProvinceCode.h"

namespace quarvel {
namespace {

constexpr std::size_t kProvinceCodeUnits = 2;

}  // namespace

bool CutProvinceCode(const char16_t* channel, std::size_t len, std::size_t* begin,
                     std::size_t* codeLen) {
  if (channel == nullptr) return false;
  for (std::size_t i = 0; i < len; ++i) {
    if (channel[i] != u'-') continue;
    const std::size_t rest = len - (i + 1);
    *begin = i + 1;
    *codeLen = rest < kProvinceCodeUnits ? rest : kProvinceCodeUnits;
    return true;
  }
  return false;
}

}  // namespace quarvel
