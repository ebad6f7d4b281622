// Texts the redirection check looks for in fetched pages. Narrow literals
// are compiled to code page 936 (GBK), as the pages carry them.
#ifndef QUARVEL_CLASSIFY_MARKERS_H
#define QUARVEL_CLASSIFY_MARKERS_H

namespace quarvel {

// In the body of the IP-location page (the page Get fetches for empty text).
constexpr const char* kIpLocationMarker = "您的IP地址";
// In the body of the probe page; the final blank belongs to it.
constexpr const char* kProbePageMarker = "百度一下，你就知道 ";

}  // namespace quarvel

#endif
