// The earlier edition's record and tables: portable data, named to sit beside the other's.
#ifndef QUARVEL_EARLIER_EDITION_H
#define QUARVEL_EARLIER_EDITION_H

#include "component/Edition.h"

namespace quarvel {

extern const Edition kEarlierEdition;
extern const LogPointTable kEarlierLogPoints;
extern const ProvinceTable kEarlierProvinces;

}  // namespace quarvel

#endif
