// The province code cut out of the installation's channel identifier.
// Portable: UTF-16 text as char16_t.
#ifndef QUARVEL_COMPONENT_PROVINCECODE_H
#define QUARVEL_COMPONENT_PROVINCECODE_H

#include <cstddef>

namespace quarvel {

// Finds the first "-" in channel (len units). Returns false when there is
// none. Otherwise *begin is the offset after it and *codeLen the length of the
// code: at most two units, 0 when "-" is the last unit.
bool CutProvinceCode(const char16_t* channel, std::size_t len, std::size_t* begin,
                     std::size_t* codeLen);

}  // namespace quarvel

#endif
