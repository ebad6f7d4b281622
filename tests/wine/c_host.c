/* A host written in C: the header must serve it as it serves C++ hosts.
 * Exits 0 when the component is made, answers through its slot table and is
 * released to 0. */
#include <stdio.h>

#include "include/Quarvel.h"

int main(int argc, char** argv) {
  HMODULE dll;
  CreateComponentProc create;
  IZHttp* http = NULL;
  char header[QUARVEL_REQUEST_HEADER_SIZE] = {0};
  if (argc < 2) return 2;
  dll = LoadLibraryA(argv[1]);
  if (dll == NULL) return 3;
  create = (CreateComponentProc)(void*)GetProcAddress(dll, "CreateComponent");
  if (create == NULL || create(&IID_IZHttp, (void**)&http) != S_OK) return 3;
  http->lpVtbl->SetTimeOut(http, 500);
  if (http->lpVtbl->Get(http, "https://refused/") != 0) return 1;
  if (!http->lpVtbl->GetRequestHeader(http, header) || header[0] != '\0') return 1;
  if (http->lpVtbl->Release(http) != 0) return 1;
  FreeLibrary(dll);
  puts("C host: ok");
  return 0;
}
