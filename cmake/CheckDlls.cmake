# Checks both editions of Quarvel.dll with objdump -p: every imported DLL is a
# Windows system DLL, the export names are exactly those hosts look up, and
# the image asks for ASLR and DEP.
set(SYSTEM_DLLS kernel32.dll user32.dll advapi32.dll ws2_32.dll ole32.dll oleaut32.dll msvcrt.dll)
set(EXPORTS_current CreateComponent _LOG _sError @@Log@Initialize @@Log@Finalize
    @@Common@Initialize @@Common@Finalize @@Quarvel@Initialize @@Quarvel@Finalize)
set(EXPORTS_earlier CreateComponent _LOG _sError @@Log@Initialize @@Log@Finalize
    @@Quarvel@Initialize @@Quarvel@Finalize)

set(failures "")
foreach(edition current earlier)
  set(dll ${DIST}/${edition}/Quarvel.dll)
  execute_process(COMMAND ${OBJDUMP} -p ${dll} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND failures "${edition}: objdump failed on ${dll}")
    continue()
  endif()

  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REPLACE "DLL Name: " "" name "${line}")
    string(TOLOWER "${name}" name)
    list(FIND SYSTEM_DLLS "${name}" found)
    if(found EQUAL -1)
      list(APPEND failures "${edition}: imports ${name}")
    endif()
  endforeach()

  # The export names follow the "[Ordinal/Name Pointer] Table" line, one
  # "\t[   n] name" line each, up to the next empty line.
  string(REPLACE "\n" ";" lines "${dump}")
  set(exported "")
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    elseif(in_table)
      set(in_table FALSE)
    endif()
  endforeach()
  list(SORT exported)
  set(expected ${EXPORTS_${edition}})
  list(SORT expected)
  if(NOT "${exported}" STREQUAL "${expected}")
    list(APPEND failures "${edition}: exports [${exported}], expected [${expected}]")
  endif()

  string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" _ "${dump}")
  math(EXPR flags "0x${CMAKE_MATCH_1}")
  math(EXPR dynamic_base "${flags} & 0x40")
  math(EXPR nx_compat "${flags} & 0x100")
  if(dynamic_base EQUAL 0 OR nx_compat EQUAL 0)
    list(APPEND failures "${edition}: DllCharacteristics 0x${CMAKE_MATCH_1} lacks DYNAMIC_BASE or NX_COMPAT")
  endif()
  message(STATUS "${edition}: imports ${imports}; exports ${exported}")
endforeach()

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "${text}")
endif()
