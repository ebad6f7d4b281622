// The component class behind the library's one interface: its record, its
// slots and its internal operations. Both editions share every slot; the
// edition table (component/Edition.h) says where they differ.
#ifndef QUARVEL_COMPONENT_TZHTTP_H
#define QUARVEL_COMPONENT_TZHTTP_H

#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "classify/ProbeSettings.h"
#include "http/Exchange.h"
#include "http/HttpBytes.h"
#include "include/Quarvel.h"
#include "support/Text.h"

namespace quarvel {

struct RulesFile;

// The narrow texts of one fetch, cut from the narrow form of its URL.
struct FetchTexts {
  AnsiText host;                   // host, for the look-up and the Host line
  const char* path = "/";          // from the URL's first "/" on, or "/"
  const char* address = "";        // dotted address to connect to
  char dotted[kDottedAddressSize] = {};  // the looked-up address
};

}  // namespace quarvel

class TZHttp final : public IZHttp {
 public:
  // Construction starts the socket library and takes the province code from
  // the registry; only CreateComponent constructs.
  TZHttp();
  ~TZHttp();

  // Records come from the C heap: the library then links no C++ allocation
  // runtime, and with it none of the exception machinery it would bring.
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size);
  }
  static void operator delete(void* record) noexcept { std::free(record); }

  // Slots 0 to 9, in order.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  void STDMETHODCALLTYPE SetTimeOut(int timeOutMs) override;
  int STDMETHODCALLTYPE Get(const char* url) override;
  QUARVEL_BOOL STDMETHODCALLTYPE GetRequestHeader(char* buffer) override;
  QUARVEL_BOOL STDMETHODCALLTYPE GetResponseHeader(char* buffer) override;
  QUARVEL_BOOL STDMETHODCALLTYPE GetResponseBody(char* buffer) override;
  int STDMETHODCALLTYPE CheckRedirction(char* target, const int* capacity) override;
  int STDMETHODCALLTYPE CheckNetDisconType(wchar_t* page, unsigned int pageCount) override;

  // Get's steps (component/Get.cpp). ParseUrl splits sUrl into the record's
  // host, path, port and address, and cuts the same parts out of url, the
  // narrow form of sUrl, into texts. OpenConnection connects hSocket to
  // address and iPort. BuildRequest composes the request into
  // szRequestHeader and gives its length, 0 (nothing composed) when host or
  // path is missing or the request does not fit.
  // The look-ups and the connect last no longer than deadline allows.
  bool ParseUrl(const char* url, quarvel::FetchTexts* texts, const quarvel::Deadline& deadline);
  bool OpenConnection(const char* address, const quarvel::Deadline& deadline);
  int BuildRequest(const char* host, const char* path);
  void CloseConnection();
  // Get of url, which is not empty, within the call's deadline: url is sent
  // as given, its wide form kept in sUrl.
  int Fetch(const char* url, const quarvel::Deadline& deadline);
  // Get of the URL in sUrl as it stands (defaultUrl when it is empty): the
  // redirection check fetches again what the last Get fetched.
  int Refetch(const char* defaultUrl, const quarvel::Deadline& deadline);
  // The probe pages in order, up to the first that answers with a 2xx or 3xx
  // status line (the last one's answer stands), within deadline.
  void FetchProbePages(const quarvel::Deadline& deadline);
  // CheckRedirction within a call that began at deadline's start, for the
  // province code the call copied; the [Probe] section it reads from rules
  // sets deadline's limit.
  int CheckRedirctionWithin(char* target, int capacity, const quarvel::RulesFile& rules,
                            const wchar_t* provinceCode, quarvel::Deadline* deadline);

  // The record, after the slot table pointer.
  bool bWsaStarted;          // the socket library start-up succeeded
  int iTimeOut;              // wait time of the socket waits, milliseconds
  SOCKET hSocket;            // connection of the last Get, or INVALID_SOCKET
  quarvel::WideText sUrl;    // URL of the current or last Get
  quarvel::WideText sPath;   // path part of sUrl, "/" when it has none
  quarvel::WideText sHostAddr;  // dotted IPv4 address of the host
  quarvel::WideText sHostName;  // host of sUrl, without port
  int iRsType;               // status class of the last response
  char szRequestHeader[quarvel::kRequestHeaderSize];    // last request text
  char szResponseHeader[quarvel::kResponseHeaderSize];  // status line .. empty line
  char szResponseBody[quarvel::kResponseBodySize];      // body of the last 200
  int iPort;                 // TCP port of sUrl
  LONG iRefCount;            // reference count

  // The object's own, after the record hosts know: the [Probe] settings its
  // Gets use, read from the rules file when it is made and again by every
  // check.
  quarvel::ProbeSettings probeSettings;
};

// The texts' sizes are the ones the host header promises.
static_assert(quarvel::kRequestHeaderSize == QUARVEL_REQUEST_HEADER_SIZE &&
                  quarvel::kResponseHeaderSize == QUARVEL_RESPONSE_HEADER_SIZE &&
                  quarvel::kResponseBodySize == QUARVEL_RESPONSE_BODY_SIZE,
              "buffer sizes of include/Quarvel.h");

// The record as the 32-bit library lays it out: the slot table pointer, then
// the fields in their order above (8116 bytes), then the object's own.
#ifndef _WIN64
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TZHttp, bWsaStarted) == 4 && offsetof(TZHttp, iTimeOut) == 8 &&
                  offsetof(TZHttp, hSocket) == 12 && offsetof(TZHttp, sUrl) == 16 &&
                  offsetof(TZHttp, sPath) == 20 && offsetof(TZHttp, sHostAddr) == 24 &&
                  offsetof(TZHttp, sHostName) == 28 && offsetof(TZHttp, iRsType) == 32 &&
                  offsetof(TZHttp, szRequestHeader) == 36 &&
                  offsetof(TZHttp, szResponseHeader) == 1060 &&
                  offsetof(TZHttp, szResponseBody) == 2084 && offsetof(TZHttp, iPort) == 8108 &&
                  offsetof(TZHttp, iRefCount) == 8112 &&
                  offsetof(TZHttp, probeSettings) >= 8116,
              "32-bit record layout");
#pragma GCC diagnostic pop
#endif

namespace quarvel {

// The library-wide province code, two characters of the "channel" value.
// Each construction may replace it while checks run on other threads: a
// check works on its own copy, taken at its start.
extern WideText sProvinceCode;
WideText CopyProvinceCode();

}  // namespace quarvel

// The exported factory (undecorated name through the module definition).
extern "C" HRESULT STDMETHODCALLTYPE CreateComponent(REFIID iid, void** out);

extern "C" void QuarvelInitialize();  // exported as @@Quarvel@Initialize
extern "C" void QuarvelFinalize();    // exported as @@Quarvel@Finalize

#endif
