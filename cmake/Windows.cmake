# Cross build for 32-bit Windows: the two editions of Quarvel.dll, the test
# programs (run under Wine by CTest) and the tools.
enable_language(RC)

set(QUARVEL_DIST_ROOT "${PROJECT_SOURCE_DIR}/build/dist" CACHE PATH
    "Where the two editions of Quarvel.dll are placed (the 64-bit twins under x64/)")
# The 32-bit DLLs are the product; the 64-bit build places its twins apart.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUARVEL_DIST_DIR ${QUARVEL_DIST_ROOT}/x64)
else()
  set(QUARVEL_DIST_DIR ${QUARVEL_DIST_ROOT})
endif()
# The host names the library may look up: the test bench maps each to
# 127.0.0.1 inside its private network namespace.
foreach(url ${QUARVEL_PROBE_URL} ${QUARVEL_IP_LOCATION_URL})
  string(REGEX REPLACE "^[A-Za-z]+://([^/:]+).*$" "\\1" host "${url}")
  list(APPEND QUARVEL_BUILT_IN_HOSTS ${host})
endforeach()
string(REPLACE ";" "\n" hosts_text "${QUARVEL_BUILT_IN_HOSTS}")
file(WRITE ${PROJECT_BINARY_DIR}/built-in-hosts.txt "${hosts_text}\n")

set(QUARVEL_WARNINGS -Wall -Wextra)
set(QUARVEL_HARDENING -fstack-protector-strong)
set(QUARVEL_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

function(quarvel_windows_code target)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  # Narrow literals are the library's GBK texts: sources are UTF-8.
  # Debug information goes into a file of its own beside each DLL; sections
  # per function let the linker drop what nothing calls.
  target_compile_options(${target} PRIVATE ${QUARVEL_WARNINGS} -fexec-charset=CP936
                         -fno-exceptions -fno-rtti ${QUARVEL_HARDENING}
                         -g -ffunction-sections -fdata-sections)
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
endfunction()

add_library(quarvel_shared OBJECT
  ${QUARVEL_PORTABLE_SOURCES}
  component/Get.cpp
  component/Quarvel.cpp
  component/CheckRedirction.cpp
  component/CheckNetDisconType.cpp
  component/Edition.cpp
  component/RulesFile.cpp
  http/Connection.cpp
  http/Exchange.cpp
  http/Lookup.cpp
  support/CodePage.cpp
  support/OsCalls.cpp
  support/SetupRegistry.cpp
  support/Lock.cpp
  support/Log.cpp
)
quarvel_windows_code(quarvel_shared)

set(QUARVEL_CURRENT_SOURCES
  ${QUARVEL_CURRENT_PORTABLE_SOURCES}
  current/Common.cpp
)
set(QUARVEL_EARLIER_SOURCES
  ${QUARVEL_EARLIER_PORTABLE_SOURCES}
  earlier/Units.cpp
)

# Each edition's own units, kept apart so that whitebox tests can link them.
add_library(quarvel_current_units OBJECT ${QUARVEL_CURRENT_SOURCES})
quarvel_windows_code(quarvel_current_units)
add_library(quarvel_earlier_units OBJECT ${QUARVEL_EARLIER_SOURCES})
quarvel_windows_code(quarvel_earlier_units)

# The module definition as the linker of this build needs it: a stdcall
# function carries its argument size (CreateComponent@8) only in 32-bit code.
function(quarvel_module_definition out def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${def} text)
    string(REPLACE "CreateComponent@8" "CreateComponent" text "${text}")
    get_filename_component(dir ${def} DIRECTORY)
    get_filename_component(edition_dir ${dir} NAME)
    set(def ${PROJECT_BINARY_DIR}/generated/${edition_dir}/Quarvel.def)
    file(WRITE ${def} "${text}")
  endif()
  set(${out} ${def} PARENT_SCOPE)
endfunction()

# A shipped DLL holds no debug sections: they go to Quarvel.dll.debug beside
# it, which the DLL names (with its checksum) so that debuggers find it and a
# crash address still resolves.
function(quarvel_split_debug_info target)
  set(dll $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${dll} ${dll}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all ${dll}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=Quarvel.dll.debug ${dll}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

# The host header's slot table as a C host sees it, checked by the compiler.
add_library(quarvel_header_layout OBJECT component/HeaderLayout.c)
target_include_directories(quarvel_header_layout PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(quarvel_header_layout PRIVATE WIN32_LEAN_AND_MEAN)

function(quarvel_edition target edition def units)
  quarvel_module_definition(def ${def})
  add_library(${target} SHARED $<TARGET_OBJECTS:quarvel_shared> $<TARGET_OBJECTS:${units}> ${ARGN} ${def})
  quarvel_windows_code(${target})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME Quarvel PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${QUARVEL_DIST_DIR}/${edition}
    ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib/${edition})
  target_link_options(${target} PRIVATE ${QUARVEL_STATIC_RUNTIME}
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--gc-sections -fstack-protector-strong)
  target_link_libraries(${target} PRIVATE ws2_32 ole32 advapi32)
  add_dependencies(${target} quarvel_header_layout)
  quarvel_split_debug_info(${target})
endfunction()

quarvel_edition(quarvel_current current ${PROJECT_SOURCE_DIR}/current/Quarvel.def
                quarvel_current_units current/Quarvel.rc)
quarvel_edition(quarvel_earlier earlier ${PROJECT_SOURCE_DIR}/earlier/Quarvel.def
                quarvel_earlier_units)
set_source_files_properties(current/Quarvel.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/current/Quarvel.ico)
set(CMAKE_RC_FLAGS "-c 936")

include(cmake/WindowsTests.cmake)
include(cmake/Bench.cmake OPTIONAL)
include(cmake/Tools.cmake OPTIONAL)
