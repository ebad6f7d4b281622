// A name look-up that the caller waits for at most a given time. The
// system's look-up cannot be cut short, so it runs on a short-lived thread of
// its own; a look-up that outlives its caller finishes harmlessly on its own.
// Calls for a name already being looked up wait on that look-up, and at most
// kMostLookUps run at once in the whole process.
#ifndef QUARVEL_HTTP_LOOKUP_H
#define QUARVEL_HTTP_LOOKUP_H

#include <winsock2.h>
#include <windows.h>

namespace quarvel {

// Look-up threads alive at once: a host retrying against a silent name
// server piles up no more than these, however often it calls.
constexpr int kMostLookUps = 4;

enum LookupResult {
  kLookupFound,     // dotted holds the first address of the answer
  kLookupNotFound,  // the name has no address (or no thread could be started)
  kLookupTimedOut,  // no answer within the time given
};

// Looks name up and waits up to waitMs for the answer; dotted
// (kDottedAddressSize bytes) gets the first address as dotted text. Joins
// the running look-up of the same name, if any; else starts one on a thread
// of its own, once fewer than kMostLookUps run (waiting for that within
// waitMs too). The thread owns a copy of the name, a start of the socket
// library and a reference to this module, so the caller, its object and even
// the module's last unload by the host may go before it ends.
LookupResult LookUpWithin(const char* name, DWORD waitMs, char* dotted);

// The first address of a look-up answer as dotted text into dotted; false
// when the answer holds none.
bool TakeFirstAddress(const hostent* found, char* dotted);

}  // namespace quarvel

#endif
