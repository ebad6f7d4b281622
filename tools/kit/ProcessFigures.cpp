#include "tools/kit/ProcessFigures.h"

#include <psapi.h>

#include <vector>

namespace kit {

namespace {

// System handle table entry (NtQuerySystemInformation class 16).
struct SystemHandleEntry {
  ULONG processId;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformationProc = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// The process's handles as the system handle table lists them; 0 when the
// table cannot be read.
DWORD CountHandlesInSystemTable() {
  auto query = reinterpret_cast<QuerySystemInformationProc>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> table(64 * 1024);
  LONG status;
  while ((status = query(kSystemHandleInformation, table.data(),
                         static_cast<ULONG>(table.size()), nullptr)) == kInfoLengthMismatch &&
         table.size() < (64u << 20)) {
    table.resize(table.size() * 2);
  }
  if (status != 0) return 0;
  ULONG count = *reinterpret_cast<const ULONG*>(table.data());
  const SystemHandleEntry* entries =
      reinterpret_cast<const SystemHandleEntry*>(table.data() + sizeof(ULONG_PTR));
  DWORD mine = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (entries[i].processId == GetCurrentProcessId()) ++mine;
  }
  return mine;
}

// Committed private memory, region by region.
SIZE_T SumPrivateRegions() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION region;
  const char* at = nullptr;
  while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

// Bytes in busy blocks of every heap of the process: a leak too small to
// commit new pages still shows here.
SIZE_T HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) return 0;
  SIZE_T total = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

}  // namespace


ProcessFigures MeasureProcess() {
  ProcessFigures figures;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters) &&
      counters.PrivateUsage > 0) {
    figures.privateBytes = counters.PrivateUsage;
    figures.privateSource = "GetProcessMemoryInfo";
  } else {
    figures.privateBytes = SumPrivateRegions();
    figures.privateSource = "committed private regions";
  }
  if (GetProcessHandleCount(GetCurrentProcess(), &figures.handles) && figures.handles > 0) {
    figures.handleSource = "GetProcessHandleCount";
  } else {
    figures.handles = CountHandlesInSystemTable();
    figures.handleSource = "system handle table";
  }
  figures.heapInUse = HeapBytesInUse();
  return figures;
}

}  // namespace kit
