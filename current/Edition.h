// The current edition's record and tables: portable data, with names of
// their own so that a program may hold both editions' side by side.
#ifndef QUARVEL_CURRENT_EDITION_H
#define QUARVEL_CURRENT_EDITION_H

#include "component/Edition.h"

namespace quarvel {

extern const Edition kCurrentEdition;
extern const LogPointTable kCurrentLogPoints;
extern const ProvinceTable kCurrentProvinces;

}  // namespace quarvel

#endif
