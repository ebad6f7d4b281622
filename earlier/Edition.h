// The earlier edition's record and tables: portable data, with names of
// their own so that a program may hold both editions' side by side.
#ifndef QUARVEL_EARLIER_EDITION_H
#define QUARVEL_EARLIER_EDITION_H

#include "component/Edition.h"

namespace quarvel {

extern const Edition kEarlierEdition;
extern const LogPointTable kEarlierLogPoints;
extern const ProvinceTable kEarlierProvinces;

}  // namespace quarvel

#endif
