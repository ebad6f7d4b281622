# Checks both editions of Quarvel.dll, the 32-bit product (DIST) and its
# 64-bit twins (DIST/x64), with each architecture's objdump: every imported
# DLL is a Windows system DLL, the export names are exactly those hosts look
# up, the image asks for ASLR and DEP, it ships without debug sections but
# names its debug file, and that file shows the stack protector's guard.
#   cmake -DDIST=build/dist -DOBJDUMP_x86=... -DOBJDUMP_x64=... -P CheckDlls.cmake
set(SYSTEM_DLLS kernel32.dll user32.dll advapi32.dll ws2_32.dll ole32.dll oleaut32.dll msvcrt.dll)
set(EXPORTS_current CreateComponent _LOG _sError @@Log@Initialize @@Log@Finalize
    @@Common@Initialize @@Common@Finalize @@Quarvel@Initialize @@Quarvel@Finalize)
set(EXPORTS_earlier CreateComponent _LOG _sError @@Log@Initialize @@Log@Finalize
    @@Quarvel@Initialize @@Quarvel@Finalize)
set(DIR_x86 ${DIST})
set(DIR_x64 ${DIST}/x64)

set(failures "")

# Appends to failures what is wrong with one DLL; name says which ("x86 current").
function(check_dll name objdump dll expected_exports)
  set(found_failures "")
  execute_process(COMMAND ${objdump} -p ${dll} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    set(failures ${failures} "${name}: objdump failed on ${dll}" PARENT_SCOPE)
    return()
  endif()

  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REPLACE "DLL Name: " "" import "${line}")
    string(TOLOWER "${import}" import)
    list(FIND SYSTEM_DLLS "${import}" found)
    if(found EQUAL -1)
      list(APPEND found_failures "${name}: imports ${import}")
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
  set(expected ${expected_exports})
  list(SORT expected)
  if(NOT "${exported}" STREQUAL "${expected}")
    list(APPEND found_failures "${name}: exports [${exported}], expected [${expected}]")
  endif()

  string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" _ "${dump}")
  math(EXPR flags "0x${CMAKE_MATCH_1}")
  math(EXPR dynamic_base "${flags} & 0x40")
  math(EXPR nx_compat "${flags} & 0x100")
  if(dynamic_base EQUAL 0 OR nx_compat EQUAL 0)
    list(APPEND found_failures "${name}: DllCharacteristics 0x${CMAKE_MATCH_1} lacks DYNAMIC_BASE or NX_COMPAT")
  endif()

  execute_process(COMMAND ${objdump} -h ${dll} OUTPUT_VARIABLE sections)
  if(sections MATCHES "\\.debug_" OR NOT sections MATCHES "\\.gnu_debuglink")
    list(APPEND found_failures "${name}: debug sections not split off into Quarvel.dll.debug")
  endif()
  execute_process(COMMAND ${objdump} -t ${dll}.debug OUTPUT_VARIABLE symbols)
  if(NOT symbols MATCHES "__stack_chk_guard")
    list(APPEND found_failures "${name}: no stack protector guard")
  endif()
  message(STATUS "${name}: imports ${imports}; exports ${exported}")
  set(failures ${failures} ${found_failures} PARENT_SCOPE)
endfunction()

foreach(arch x86 x64)
  foreach(edition current earlier)
    check_dll("${arch} ${edition}" ${OBJDUMP_${arch}} ${DIR_${arch}}/${edition}/Quarvel.dll
              "${EXPORTS_${edition}}")
  endforeach()
endforeach()

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "${text}")
endif()
