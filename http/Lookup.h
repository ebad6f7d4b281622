// A name look-up that the caller waits for at most a given time. The
// system's look-up cannot be cut short, so it runs on a short-lived thread of
// its own; a look-up that outlives its caller finishes harmlessly on its own.
#ifndef QUARVEL_HTTP_LOOKUP_H
#define QUARVEL_HTTP_LOOKUP_H

#include <winsock2.h>
#include <windows.h>

namespace quarvel {

enum LookupResult {
  kLookupFound,     // dotted holds the first address of the answer
  kLookupNotFound,  // the name has no address (or no thread could be started)
  kLookupTimedOut,  // no answer within the time given
};

// Looks name up on a thread of its own and waits up to waitMs for it;
// dotted (kDottedAddressSize bytes) gets the first address as dotted text.
// The thread owns a copy of the name, a start of the socket library and a
// reference to this module, so the caller, its object and even the module's
// last unload by the host may go before it ends.
LookupResult LookUpWithin(const char* name, DWORD waitMs, char* dotted);

// The first address of a look-up answer as dotted text into dotted; false
// when the answer holds none.
bool TakeFirstAddress(const hostent* found, char* dotted);

}  // namespace quarvel

#endif
