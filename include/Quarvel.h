/* Quarvel.h: the interface of Quarvel.dll for host programs (C and C++,
 * MSVC or mingw, 32-bit Windows).
 *
 * The host loads Quarvel.dll, asks CreateComponent for the component's
 * interface and calls it with the standard COM calling convention. Both
 * editions of the library export the same factory and interface.
 *
 * The 64-bit build of the library (for 64-bit hosts) exports the same names
 * and the same interface; what differs is the pointer size: each slot table
 * entry is 8 bytes, and the exported log object _LOG (a stream pointer, then
 * the 512-byte log path) is 520 bytes with the path at offset 8, against 516
 * bytes and offset 4 in the 32-bit build. Both builds read the client's
 * setup key in the 32-bit registry view.
 *
 * Threads: one object is used by one thread at a time. Different objects may
 * be used on different threads at the same time, and objects may be made and
 * released on any thread while others work: every call then gives the
 * results and log lines it gives alone. */
#ifndef QUARVEL_H
#define QUARVEL_H

#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
extern "C" {
#endif

/* {E7CC68AD-D0EF-4D72-9C79-B27E04B1FF8E}: the only identifier that
 * CreateComponent accepts. */
static const GUID IID_IZHttp = {
    0xE7CC68AD, 0xD0EF, 0x4D72, {0x9C, 0x79, 0xB2, 0x7E, 0x04, 0xB1, 0xFF, 0x8E}};

/* Buffer sizes the accessors assume (slots 5 to 7) and the size of the target
 * buffer the library itself uses for CheckRedirction. */
#define QUARVEL_REQUEST_HEADER_SIZE 1024
#define QUARVEL_RESPONSE_HEADER_SIZE 1024
#define QUARVEL_RESPONSE_BODY_SIZE 6024
#define QUARVEL_TARGET_BUFFER_SIZE 528

/* One-byte boolean result of the accessors. */
typedef unsigned char QUARVEL_BOOL;

/* Result of CheckRedirction (slot 8). */
typedef enum RedirectionResult {
  NoTarget = 0,        /* neither a network-up page nor a redirect target */
  TargetFound = 1,     /* a redirect target was copied into the buffer */
  TargetUnparsed = 2,  /* a portal page without a usable embedded target */
  NetworkUp = 3        /* a page proving that the network is up came back */
} RedirectionResult;

/* Result of CheckNetDisconType (slot 9). */
typedef enum DisconType {
  Unclassified = 0,
  ErrPassword = 1,
  AccountExpire = 2,
  NetworkUpType = 3,   /* "NetworkUp"; renamed here only because C enums
                          share one namespace with RedirectionResult */
  AccountHalt = 4,
  BindCheckErr = 5,
  LimitUserCount = 6,
  AccountHangDead = 7
} DisconType;

#ifdef __cplusplus
/* The component interface, slots 0 to 9 in order. */
struct IZHttp : public IUnknown {
  /* 3: wait time of the socket waits, in milliseconds. Call it first. */
  virtual void STDMETHODCALLTYPE SetTimeOut(int timeOutMs) = 0;
  /* 4: fetches url ("" = the library's default page); 1 on a usable answer. */
  virtual int STDMETHODCALLTYPE Get(const char* url) = 0;
  /* 5-7: copy the last request, header block or body text (no terminator is
   * written: clear the buffer first). false for a null buffer. */
  virtual QUARVEL_BOOL STDMETHODCALLTYPE GetRequestHeader(char* buffer) = 0;
  virtual QUARVEL_BOOL STDMETHODCALLTYPE GetResponseHeader(char* buffer) = 0;
  virtual QUARVEL_BOOL STDMETHODCALLTYPE GetResponseBody(char* buffer) = 0;
  /* 8: RedirectionResult; the target text lands in target (capacity bytes). */
  virtual int STDMETHODCALLTYPE CheckRedirction(char* target, const int* capacity) = 0;
  /* 9: DisconType; on a recognised problem the page address to show lands in
   * page (pageCount UTF-16 units, terminator included). */
  virtual int STDMETHODCALLTYPE CheckNetDisconType(wchar_t* page, unsigned int pageCount) = 0;
};
#else
typedef struct IZHttp IZHttp;
typedef struct IZHttpVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(IZHttp* self, REFIID iid, void** out);
  ULONG(STDMETHODCALLTYPE* AddRef)(IZHttp* self);
  ULONG(STDMETHODCALLTYPE* Release)(IZHttp* self);
  void(STDMETHODCALLTYPE* SetTimeOut)(IZHttp* self, int timeOutMs);
  int(STDMETHODCALLTYPE* Get)(IZHttp* self, const char* url);
  QUARVEL_BOOL(STDMETHODCALLTYPE* GetRequestHeader)(IZHttp* self, char* buffer);
  QUARVEL_BOOL(STDMETHODCALLTYPE* GetResponseHeader)(IZHttp* self, char* buffer);
  QUARVEL_BOOL(STDMETHODCALLTYPE* GetResponseBody)(IZHttp* self, char* buffer);
  int(STDMETHODCALLTYPE* CheckRedirction)(IZHttp* self, char* target, const int* capacity);
  int(STDMETHODCALLTYPE* CheckNetDisconType)(IZHttp* self, wchar_t* page, unsigned int pageCount);
} IZHttpVtbl;
struct IZHttp {
  const IZHttpVtbl* lpVtbl;
};
#endif

/* The exported factory, found with GetProcAddress(module, "CreateComponent"):
 * S_OK and one reference for IID_IZHttp; E_FAIL (0x80004005) for any other
 * identifier, IUnknown's included, the out pointer then untouched. */
typedef HRESULT(STDMETHODCALLTYPE* CreateComponentProc)(REFIID iid, void** out);

#ifdef __cplusplus
}
#endif

#endif /* QUARVEL_H */
