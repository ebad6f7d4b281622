// The redirection check's decision on one fetched answer: is the network up,
// and if not, where does the provider send web requests? Portable: the
// answer comes in, the target goes into the caller's buffer and each step's
// log point to the caller's sink.
#ifndef QUARVEL_CLASSIFY_REDIRECTION_H
#define QUARVEL_CLASSIFY_REDIRECTION_H

#include "classify/ProbeSettings.h"
#include "classify/Provinces.h"
#include "support/LogPoints.h"

namespace quarvel {

// The check's results, numbered as the host header's RedirectionResult.
constexpr int kNoTarget = 0, kTargetFound = 1, kTargetUnparsed = 2, kNetworkUp = 3;

// value: the text a point carries (the page body), else null.
struct LogSink {
  void (*write)(void* context, LogPoint point, const char* value);
  void* context;
};

struct RedirectionInput {
  int statusClass;                 // kStatusOk, kStatusRedirect or another class
  const char* header;              // the header text, NUL-terminated
  const char* body;                // the body of a "200 OK", NUL-terminated
  const ProbeSettings* settings;   // the markers that prove the network up
  const ProvinceTable* provinces;  // the edition's provinces
  const wchar_t* provinceCode;     // the caller's province; null: none
  bool emptyBodyIsNoTarget;        // an empty "200 OK" body gives kNoTarget
};

// A network-up marker gives kNetworkUp, and so does a "204" answer where the
// settings expect one; a redirect's "Location:" target, or
// one cut from a provider page as the caller's province cuts it, is copied
// into target (capacity bytes, zero-filled first, never written past) with
// kTargetFound. The closing line is reported where the result calls for one.
int DecideRedirection(const RedirectionInput& input, char* target, int capacity,
                      const LogSink& sink);

}  // namespace quarvel

#endif
