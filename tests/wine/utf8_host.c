/* A host whose manifest (utf8_host.manifest) makes UTF-8 the process's ANSI
 * code page, as Windows 10 1903 and later (and Wine) honour it:
 *   utf8_host DLL OUT [URL]
 * loads the DLL, makes one Get of URL where one is given, then one
 * CheckNetDisconType with a page of 260 units, and writes to the file OUT
 * "<ANSI code page> <result> <page as hex UTF-16 units>". Exits 0 when the
 * calls were made, 3 when the DLL or its component could not be had. */
#include <stdio.h>
#include <stdlib.h>

#include "include/Quarvel.h"

enum { kPageUnits = 260 };

/* The URL in the ANSI code page, sized by the system; null when it fails. */
static char* AnsiUrl(const wchar_t* url) {
  int bytes = WideCharToMultiByte(CP_ACP, 0, url, -1, NULL, 0, NULL, NULL);
  char* narrow = bytes > 0 ? (char*)malloc(bytes) : NULL;
  if (narrow != NULL && WideCharToMultiByte(CP_ACP, 0, url, -1, narrow, bytes, NULL, NULL) != bytes) {
    free(narrow);
    narrow = NULL;
  }
  return narrow;
}

int wmain(int argc, wchar_t** argv) {
  HMODULE dll;
  CreateComponentProc create;
  IZHttp* http = NULL;
  wchar_t page[kPageUnits] = {0};
  FILE* out;
  int result, i;
  if (argc < 3) return 2;
  dll = LoadLibraryW(argv[1]);
  if (dll == NULL) return 3;
  create = (CreateComponentProc)(void*)GetProcAddress(dll, "CreateComponent");
  if (create == NULL || create(&IID_IZHttp, (void**)&http) != S_OK) return 3;
  http->lpVtbl->SetTimeOut(http, 2000);
  if (argc > 3) {
    char* url = AnsiUrl(argv[3]);
    if (url == NULL) return 3;
    http->lpVtbl->Get(http, url);
    free(url);
  }
  result = http->lpVtbl->CheckNetDisconType(http, page, kPageUnits);
  http->lpVtbl->Release(http);
  FreeLibrary(dll);
  out = _wfopen(argv[2], L"w");
  if (out == NULL) return 3;
  fprintf(out, "%u %d", GetACP(), result);
  for (i = 0; i < kPageUnits && page[i] != 0; ++i) fprintf(out, " %04x", page[i]);
  fclose(out);
  return 0;
}
