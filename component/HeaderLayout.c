/* The host header as a C host compiles it: the slot table of the interface,
 * one pointer per slot in the order hosts call them, and the one-byte
 * boolean of the accessors. Compiled with each build, linked into nothing. */
#include <stddef.h>

#include "include/Quarvel.h"

#define QUARVEL_SLOT(name, index) \
  _Static_assert(offsetof(IZHttpVtbl, name) == (index) * sizeof(void*), #name " is slot " #index)

QUARVEL_SLOT(QueryInterface, 0);
QUARVEL_SLOT(AddRef, 1);
QUARVEL_SLOT(Release, 2);
QUARVEL_SLOT(SetTimeOut, 3);
QUARVEL_SLOT(Get, 4);
QUARVEL_SLOT(GetRequestHeader, 5);
QUARVEL_SLOT(GetResponseHeader, 6);
QUARVEL_SLOT(GetResponseBody, 7);
QUARVEL_SLOT(CheckRedirction, 8);
QUARVEL_SLOT(CheckNetDisconType, 9);
_Static_assert(sizeof(IZHttpVtbl) == 10 * sizeof(void*), "ten slots");
_Static_assert(sizeof(IZHttp) == sizeof(void*), "the interface is its slot table pointer");
_Static_assert(sizeof(QUARVEL_BOOL) == 1, "one-byte boolean");
_Static_assert(sizeof(IID_IZHttp) == 16, "16-byte identifier");
