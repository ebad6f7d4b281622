# The Wine test bench: GoogleTest cross-built from Debian's sources, test
# programs that load the DLLs as a host does, and the scenario server.
set(QUARVEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUARVEL_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()
include(GoogleTest)

add_library(quarvel_scenario STATIC tools/scenario/ScenarioServer.cpp tools/scenario/NetworkFaults.cpp)
target_include_directories(quarvel_scenario PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quarvel_scenario PUBLIC ws2_32)

# The host kit of the tests and the tools: loading the DLL, the setup key,
# install folders, the log, small helpers. quarvel-check ships to operators
# and links only this; the replies the servers play and the process's
# figures are the tests' and the bench's.
add_library(quarvel_kit STATIC tools/kit/Kit.cpp)
target_include_directories(quarvel_kit PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_definitions(quarvel_kit PUBLIC WIN32_LEAN_AND_MEAN)
target_link_libraries(quarvel_kit PUBLIC advapi32)
add_library(quarvel_test_kit STATIC tools/kit/Replies.cpp tools/kit/ProcessFigures.cpp)
target_link_libraries(quarvel_test_kit PUBLIC quarvel_kit quarvel_scenario psapi)

# Windows path of a file of this build, as Wine's Z: drive shows it.
function(quarvel_wine_path out path)
  string(REPLACE "/" "\\\\" winpath "Z:${path}")
  set(${out} "${winpath}" PARENT_SCOPE)
endfunction()
quarvel_wine_path(probe_page ${PROJECT_SOURCE_DIR}/tools/probe/index.html)
quarvel_wine_path(current_dll ${QUARVEL_DIST_DIR}/current/Quarvel.dll)
quarvel_wine_path(earlier_dll ${QUARVEL_DIST_DIR}/earlier/Quarvel.dll)

add_library(quarvel_testbench STATIC tests/wine/TestBench.cpp)
target_include_directories(quarvel_testbench PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_definitions(quarvel_testbench PUBLIC
  QUARVEL_CURRENT_DLL="${current_dll}" QUARVEL_EARLIER_DLL="${earlier_dll}"
  QUARVEL_PROBE_PAGE="${probe_page}"
  WIN32_LEAN_AND_MEAN)
target_compile_options(quarvel_testbench PUBLIC -fexec-charset=CP936)
target_link_libraries(quarvel_testbench PUBLIC quarvel_test_kit gtest advapi32 version ws2_32 ole32)

file(GLOB QUARVEL_WINE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(src ${QUARVEL_WINE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE quarvel_testbench gtest_main)
  target_link_options(${name} PRIVATE ${QUARVEL_STATIC_RUNTIME})
  add_dependencies(${name} quarvel_current quarvel_earlier)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 FAIL_REGULAR_EXPRESSION "wine: Unhandled|unhandled exception")
endforeach()

# The DLLs of both architectures import only Windows system DLLs and export
# exactly their names (./quarvel builds the other architecture's DLLs too).
find_program(QUARVEL_OBJDUMP_x86 i686-w64-mingw32-objdump REQUIRED)
find_program(QUARVEL_OBJDUMP_x64 x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME dll_imports_and_exports
  COMMAND ${CMAKE_COMMAND} -DDIST=${QUARVEL_DIST_ROOT} -DOBJDUMP_x86=${QUARVEL_OBJDUMP_x86}
          -DOBJDUMP_x64=${QUARVEL_OBJDUMP_x64} -P ${PROJECT_SOURCE_DIR}/cmake/CheckDlls.cmake)
set_tests_properties(dll_imports_and_exports PROPERTIES SKIP_RETURN_CODE 77)

# Whitebox tests: an edition's units linked straight into a test program,
# for what the DLL boundary does not show (the registry readers' handling of
# value types, system calls that fail on demand, the record around a buffer):
# tests/wine/whitebox/ for the current edition, its earlier/ for the earlier.
function(quarvel_whitebox_test name units folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*_test.cpp)
  add_executable(${name} ${sources} $<TARGET_OBJECTS:quarvel_shared> $<TARGET_OBJECTS:${units}>)
  target_link_libraries(${name} PRIVATE quarvel_testbench gtest_main)
  target_link_options(${name} PRIVATE ${QUARVEL_STATIC_RUNTIME} -fstack-protector-strong)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES FAIL_REGULAR_EXPRESSION "wine: Unhandled|unhandled exception")
endfunction()
quarvel_whitebox_test(whitebox_test quarvel_current_units tests/wine/whitebox)
quarvel_whitebox_test(whitebox_earlier_test quarvel_earlier_units tests/wine/whitebox/earlier)

# The host header used from C, through the slot table.
add_executable(c_host tests/wine/c_host.c)
target_include_directories(c_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(c_host PRIVATE -static)
add_dependencies(c_host quarvel_current quarvel_earlier)
add_test(NAME c_host_current COMMAND c_host ${current_dll})
add_test(NAME c_host_earlier COMMAND c_host ${earlier_dll})
set_tests_properties(c_host_current c_host_earlier PROPERTIES PASS_REGULAR_EXPRESSION "C host: ok")

# A host whose manifest makes UTF-8 its ANSI code page, run by dispatch_test.
add_executable(utf8_host tests/wine/utf8_host.c tests/wine/utf8_host.rc)
target_include_directories(utf8_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(utf8_host PRIVATE -static -municode)
quarvel_wine_path(utf8_host_exe ${PROJECT_BINARY_DIR}/utf8_host.exe)
target_compile_definitions(dispatch_test PRIVATE QUARVEL_UTF8_HOST="${utf8_host_exe}")
add_dependencies(dispatch_test utf8_host)

# Both editions against Debian's nginx: with-nginx.sh serves the deployment's
# server block (tools/probe/nginx.conf) and a portal and a chunked page while
# the program runs, under the same Wine loader as the other test programs.
add_executable(nginx_test tests/realserver/nginx_test.cpp)
target_link_libraries(nginx_test PRIVATE quarvel_testbench gtest_main)
target_link_options(nginx_test PRIVATE ${QUARVEL_STATIC_RUNTIME})
add_dependencies(nginx_test quarvel_current quarvel_earlier)
add_test(NAME nginx_real_server
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/realserver/with-nginx.sh ${PROJECT_BINARY_DIR}
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:nginx_test>)
set_tests_properties(nginx_real_server PROPERTIES TIMEOUT 60
  FAIL_REGULAR_EXPRESSION "wine: Unhandled|unhandled exception")
