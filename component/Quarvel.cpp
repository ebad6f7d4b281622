// The library's boundary: the exported factory, reference counting, the
// accessors, construction and destruction of TZHttp, the component's unit and
// the entry routine.
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <new>

#include "component/Edition.h"
#include "component/ProvinceCode.h"
#include "component/RulesFile.h"
#include "component/TZHttp.h"
#include "http/Exchange.h"
#include "http/UrlParts.h"
#include "support/Lock.h"
#include "support/OsCalls.h"
#include "support/SetupRegistry.h"

namespace quarvel {

WideText sProvinceCode;

WideText CopyProvinceCode() {
  LibraryLockHold hold;
  WideText copy;
  copy.Assign(sProvinceCode.c_str());
  return copy;
}

}  // namespace quarvel

namespace {

// Time-out of the socket waits until the host sets its own: hosts call
// SetTimeOut first, but an object must never wait on an undefined value.
constexpr int kDefaultTimeOutMs = 3000;
constexpr WORD kWinsockVersion = 0x0002;

LONG gQuarvelUseCount = 0;

// Hosts pass identifiers by pointer; a null one must not be read. Read
// through a volatile so the check survives the rule that references are
// never null.
bool SameGuid(REFIID a, const GUID& b) {
  const GUID* volatile address = &a;
  return address != nullptr && std::memcmp(address, &b, sizeof(GUID)) == 0;
}

// Takes the province code from the registry value "channel": the (at most)
// two characters after its first "-". Without "-" the code stays as it was.
// Checks on other threads copy the code under the lock, so it is replaced
// under the lock too.
void TakeProvinceCode() {
  quarvel::WideText channel = quarvel::ReadSetupString(quarvel::kChannelValue);
  std::size_t begin = 0, length = 0;
  if (!quarvel::CutProvinceCode(reinterpret_cast<const char16_t*>(channel.c_str()),
                                channel.length(), &begin, &length)) {
    return;
  }
  quarvel::LibraryLockHold hold;
  quarvel::sProvinceCode.Assign(channel.c_str() + begin, length);
}

// The [Probe] settings of a new object, where the edition reads any: a
// refused value is named by the next check, which reads them again.
void TakeProbeSettings(quarvel::ProbeSettings* settings) {
  quarvel::RulesFile rules;
  if (quarvel::kEdition.readsProbeSection) quarvel::ReadRulesFilePath(&rules);
  quarvel::LoadProbeSettings(rules, settings);
}

}  // namespace

TZHttp::TZHttp()
    : bWsaStarted(false),
      iTimeOut(kDefaultTimeOutMs),
      hSocket(INVALID_SOCKET),
      iRsType(0),
      szRequestHeader(), szResponseHeader(), szResponseBody(),
      iPort(quarvel::kDefaultHttpPort),
      iRefCount(0) {
  WSADATA startup;
  std::memset(&startup, 0, sizeof startup);
  bWsaStarted = quarvel::gOs.wsaStartup(kWinsockVersion, &startup) == 0;
  TakeProvinceCode();
  TakeProbeSettings(&probeSettings);
}

TZHttp::~TZHttp() {
  if (bWsaStarted) {
    CloseConnection();
    quarvel::gOs.wsaCleanup();
  }
}

HRESULT STDMETHODCALLTYPE TZHttp::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr || !(SameGuid(iid, IID_IZHttp) || SameGuid(iid, IID_IUnknown))) return E_FAIL;
  *out = static_cast<IZHttp*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TZHttp::AddRef() {
  InterlockedIncrement(&iRefCount);
  return static_cast<ULONG>(iRefCount);
}

ULONG STDMETHODCALLTYPE TZHttp::Release() {
  if (iRefCount <= 0) return static_cast<ULONG>(iRefCount);
  LONG count = InterlockedDecrement(&iRefCount);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

void STDMETHODCALLTYPE TZHttp::SetTimeOut(int timeOutMs) { iTimeOut = timeOutMs; }

namespace {

// The accessors copy a field's text without its terminator.
QUARVEL_BOOL CopyFieldText(char* buffer, const char* field, std::size_t fieldSize) {
  if (buffer == nullptr) return 0;
  std::memcpy(buffer, field, strnlen(field, fieldSize - 1));
  return 1;
}

}  // namespace

QUARVEL_BOOL STDMETHODCALLTYPE TZHttp::GetRequestHeader(char* buffer) {
  return CopyFieldText(buffer, szRequestHeader, sizeof szRequestHeader);
}

QUARVEL_BOOL STDMETHODCALLTYPE TZHttp::GetResponseHeader(char* buffer) {
  return CopyFieldText(buffer, szResponseHeader, sizeof szResponseHeader);
}

QUARVEL_BOOL STDMETHODCALLTYPE TZHttp::GetResponseBody(char* buffer) {
  return CopyFieldText(buffer, szResponseBody, sizeof szResponseBody);
}

void TZHttp::CloseConnection() { quarvel::CloseSocket(&hSocket); }

extern "C" HRESULT STDMETHODCALLTYPE CreateComponent(REFIID iid, void** out) {
  if (!SameGuid(iid, IID_IZHttp)) return E_FAIL;
  TZHttp* component = new (std::nothrow) TZHttp();
  if (component == nullptr) return E_OUTOFMEMORY;
  HRESULT result = component->QueryInterface(iid, out);
  // A null out pointer leaves the new object unreferenced: nobody can reach
  // it, so it goes at once.
  if (result != S_OK) delete component;
  return result;
}

// The units start and stop under the loader's own lock, before any object
// exists and after the last is gone.
extern "C" void QuarvelInitialize() {
  if (InterlockedDecrement(&gQuarvelUseCount) == -1) quarvel::sProvinceCode.Assign(L"0");
}

extern "C" void QuarvelFinalize() {
  if (InterlockedIncrement(&gQuarvelUseCount) == 0) quarvel::sProvinceCode.Clear();
}

// The entry routine accepts every notification; the units start at process
// attach and stop at process detach, in the edition's order.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) quarvel::StartUnits();
  if (reason == DLL_PROCESS_DETACH) quarvel::StopUnits();
  return TRUE;
}
