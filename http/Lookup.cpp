// The look-up with a time limit. Each name being looked up has one job, a
// heap block: made by the first call for the name, shared by later calls for
// it while it runs, out of the table once its answer is in, and freed by
// whichever of its holders (the thread that asks the system, each waiting
// call) lets go of it last. The table of running jobs is the process's,
// touched only under the library lock.
#include "http/Lookup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "http/Deadline.h"
#include "http/Exchange.h"
#include "support/Lock.h"
#include "support/OsCalls.h"

namespace {

constexpr WORD kWinsockVersion = 0x0002;
// Reserved for each look-up thread's stack, instead of the host's default
// (1 MiB or more): the system's look-up needs little of it.
constexpr SIZE_T kLookUpStackBytes = 128 * 1024;

struct LookupJob {
  LONG holders;    // the thread and each waiting call; the last to let go frees the job
  HANDLE done;     // set (for good) once the answer is in
  HMODULE module;  // the thread's own reference to this module
  bool found;      // written by the thread before done is set
  char dotted[quarvel::kDottedAddressSize];
  char name[1];    // the name, copied; the job is allocated to hold it whole
};

// The running jobs, at most one per name; an empty slot is nullptr.
LookupJob* gRunning[quarvel::kMostLookUps];

// A job for name, held by the call that makes it and by the thread it needs.
LookupJob* NewJob(const char* name) {
  std::size_t nameLen = std::strlen(name);
  LookupJob* job = static_cast<LookupJob*>(std::malloc(sizeof(LookupJob) + nameLen));
  if (job == nullptr) return nullptr;
  job->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (job->done == nullptr) {
    std::free(job);
    return nullptr;
  }
  job->holders = 2;
  job->module = nullptr;
  job->found = false;
  std::memcpy(job->name, name, nameLen + 1);
  return job;
}

void LetGo(LookupJob* job) {
  if (InterlockedDecrement(&job->holders) != 0) return;
  CloseHandle(job->done);
  std::free(job);
}

// The answer is in: the job leaves the table, so that a later call asks
// afresh; its waiters wake, and the thread lets go of it.
void Finish(LookupJob* job, bool found) {
  job->found = found;
  {
    quarvel::LibraryLockHold hold;
    for (LookupJob*& running : gRunning) {
      if (running == job) running = nullptr;
    }
  }
  SetEvent(job->done);
  LetGo(job);
}

// The thread touches nothing but its job: its own socket library start, its
// own copy of the name, and the module reference it leaves with.
DWORD WINAPI LookUpThread(void* parameter) {
  LookupJob* job = static_cast<LookupJob*>(parameter);
  HMODULE module = job->module;
  bool found = false;
  WSADATA startup;
  if (quarvel::gOs.wsaStartup(kWinsockVersion, &startup) == 0) {
    found = quarvel::TakeFirstAddress(quarvel::gOs.gethostbyname(job->name), job->dotted);
    quarvel::gOs.wsaCleanup();
  }
  Finish(job, found);
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

// Starts job's thread, which keeps a reference to this module; false when
// either cannot be had. Called outside the library lock: the reference takes
// the loader's lock, under which the module's start and stop take ours.
bool StartLookUpThread(LookupJob* job) {
  job->module = ReferenceThisModule();
  if (job->module == nullptr) return false;
  HANDLE thread = CreateThread(nullptr, kLookUpStackBytes, LookUpThread, job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    FreeLibrary(job->module);
    return false;
  }
  CloseHandle(thread);
  return true;
}

enum TableStep {
  kJoined,   // the running job of the name, now also held for the caller
  kMade,     // a new job in a free slot, its thread still to start
  kAllBusy,  // every slot holds a job of another name
  kNoJob,    // no memory or event for a new job
};

// The job name's call waits on, taken from the table or made into it.
TableStep TakeJob(const char* name, LookupJob** job) {
  quarvel::LibraryLockHold hold;
  LookupJob** empty = nullptr;
  for (LookupJob*& slot : gRunning) {
    if (slot == nullptr) {
      if (empty == nullptr) empty = &slot;
    } else if (std::strcmp(slot->name, name) == 0) {
      InterlockedIncrement(&slot->holders);
      *job = slot;
      return kJoined;
    }
  }
  if (empty == nullptr) return kAllBusy;
  *job = *empty = NewJob(name);
  return *job != nullptr ? kMade : kNoJob;
}

// Waits up to waitMs for one of the running jobs to end; true when a slot is
// free, at once when one already is. Each job is held while it is waited on.
bool WaitForAFreeSlot(DWORD waitMs) {
  constexpr DWORD kCount = quarvel::kMostLookUps;
  LookupJob* running[kCount];
  HANDLE ends[kCount];
  {
    quarvel::LibraryLockHold hold;
    if (std::find(std::begin(gRunning), std::end(gRunning), nullptr) != std::end(gRunning)) {
      return true;
    }
    for (DWORD i = 0; i < kCount; ++i) {
      running[i] = gRunning[i];
      InterlockedIncrement(&running[i]->holders);
      ends[i] = running[i]->done;
    }
  }
  bool ended = WaitForMultipleObjects(kCount, ends, FALSE, waitMs) < WAIT_OBJECT_0 + kCount;
  for (LookupJob* job : running) LetGo(job);
  return ended;
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
  Deadline deadline;
  deadline.SetLimit(waitMs);
  LookupJob* job = nullptr;
  TableStep step;
  while ((step = TakeJob(name, &job)) == kAllBusy) {
    if (!WaitForAFreeSlot(deadline.LeftMs())) return kLookupTimedOut;
  }
  if (step == kNoJob) return kLookupNotFound;
  if (step == kMade && !StartLookUpThread(job)) Finish(job, false);
  // A plain wait: no window messages of the host are dispatched meanwhile.
  bool answered = WaitForSingleObject(job->done, deadline.LeftMs()) == WAIT_OBJECT_0;
  LookupResult result = !answered ? kLookupTimedOut : job->found ? kLookupFound : kLookupNotFound;
  if (result == kLookupFound) std::memcpy(dotted, job->dotted, kDottedAddressSize);
  LetGo(job);
  return result;
}

}  // namespace quarvel
