// The look-up with a time limit: one heap block shared by the caller and the
// look-up thread, freed by whichever of the two lets go of it last.
#include "http/Lookup.h"

#include <cstdlib>
#include <cstring>

#include "http/Exchange.h"
#include "support/OsCalls.h"

namespace {

constexpr WORD kWinsockVersion = 0x0002;

struct LookupBlock {
  LONG holders;    // the caller and the thread; the last to let go frees the block
  HMODULE module;  // the thread's own reference to this module
  bool found;      // written by the thread before it lets go
  char dotted[quarvel::kDottedAddressSize];
  char name[1];    // the name, copied; the block is allocated to hold it whole
};

void LetGo(LookupBlock* block) {
  if (InterlockedDecrement(&block->holders) == 0) std::free(block);
}

// The thread touches nothing but its block: its own socket library start,
// its own copy of the name, and the module reference it leaves with.
DWORD WINAPI LookUpThread(void* parameter) {
  LookupBlock* block = static_cast<LookupBlock*>(parameter);
  HMODULE module = block->module;
  WSADATA startup;
  if (quarvel::gOs.wsaStartup(kWinsockVersion, &startup) == 0) {
    block->found = quarvel::TakeFirstAddress(quarvel::gOs.gethostbyname(block->name),
                                             block->dotted);
    quarvel::gOs.wsaCleanup();
  }
  LetGo(block);
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

// A reference to the module holding this code, for the thread to keep.
HMODULE ReferenceThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&LookUpThread), &module);
  return module;
}

}  // namespace

namespace quarvel {

bool TakeFirstAddress(const hostent* found, char* dotted) {
  if (found == nullptr || found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
    return false;
  }
  // Winsock's own "a.b.c.d" (at most 15 characters): its buffer belongs to
  // the calling thread, so the text is copied at once.
  in_addr address;
  std::memcpy(&address, found->h_addr_list[0], sizeof address);
  const char* text = inet_ntoa(address);
  if (text == nullptr) return false;
  std::size_t len = strnlen(text, kDottedAddressSize - 1);
  std::memcpy(dotted, text, len);
  dotted[len] = '\0';
  return true;
}

LookupResult LookUpWithin(const char* name, DWORD waitMs, char* dotted) {
  if (waitMs == 0) return kLookupTimedOut;
  std::size_t nameLen = std::strlen(name);
  LookupBlock* block = static_cast<LookupBlock*>(std::malloc(sizeof(LookupBlock) + nameLen));
  if (block == nullptr) return kLookupNotFound;
  block->holders = 2;
  block->found = false;
  std::memcpy(block->name, name, nameLen + 1);
  block->module = ReferenceThisModule();
  HANDLE thread =
      block->module != nullptr ? CreateThread(nullptr, 0, LookUpThread, block, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    if (block->module != nullptr) FreeLibrary(block->module);
    std::free(block);
    return kLookupNotFound;
  }
  // A plain wait: no window messages of the host are dispatched meanwhile.
  bool ended = WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  LookupResult result = !ended ? kLookupTimedOut : block->found ? kLookupFound : kLookupNotFound;
  if (result == kLookupFound) std::memcpy(dotted, block->dotted, kDottedAddressSize);
  LetGo(block);
  return result;
}

}  // namespace quarvel
