# The host-side tools: quarvel-check (one check as the dial-up client makes
# it), quarvel-sim (an access provider's network on loopback, for the demo)
# and the Wine tests that cover them.

function(quarvel_tool target)
  add_executable(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(${target} PRIVATE ${QUARVEL_WARNINGS} ${QUARVEL_HARDENING})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_link_options(${target} PRIVATE ${QUARVEL_STATIC_RUNTIME} ${QUARVEL_HARDENING})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()

# quarvel-check explains a check with the library's own edition records,
# tables and byte tests, compiled as the library compiles them (GBK texts).
add_library(quarvel_check_core OBJECT
  ${QUARVEL_CURRENT_PORTABLE_SOURCES} ${QUARVEL_EARLIER_PORTABLE_SOURCES} classify/Provinces.cpp
  classify/ProbeSettings.cpp classify/RuleMatch.cpp http/UrlParts.cpp http/HttpBytes.cpp
  component/ProvinceCode.cpp component/EditionSettings.cpp support/Bytes.cpp)
target_include_directories(quarvel_check_core PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_options(quarvel_check_core PRIVATE ${QUARVEL_WARNINGS} -fexec-charset=CP936)
quarvel_tool(quarvel-check tools/check/quarvel-check.cpp tools/check/TextOut.cpp
             tools/check/RulesLint.cpp tools/check/ProfileModel.cpp tools/check/LogLines.cpp
             tools/check/Commands.cpp tools/check/Report.cpp $<TARGET_OBJECTS:quarvel_check_core>)
target_compile_options(quarvel-check PRIVATE -fexec-charset=CP936)
target_link_libraries(quarvel-check PRIVATE quarvel_kit shell32 version)

# The scenarios carry GBK page texts.
add_library(quarvel_simulator STATIC tools/simulator/Scenarios.cpp)
target_include_directories(quarvel_simulator PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_options(quarvel_simulator PRIVATE ${QUARVEL_WARNINGS} -fexec-charset=CP936)
target_compile_definitions(quarvel_simulator PRIVATE QUARVEL_PROBE_PAGE="${probe_page}")
target_link_libraries(quarvel_simulator PUBLIC quarvel_test_kit)

quarvel_tool(quarvel-sim tools/simulator/quarvel-sim.cpp)
target_link_libraries(quarvel-sim PRIVATE quarvel_simulator)

# A DLL without the factory, for quarvel-check's refusal.
add_library(quarvel_nofactory SHARED tests/wine/fixtures/NoFactory.cpp)
set_target_properties(quarvel_nofactory PROPERTIES OUTPUT_NAME NoFactory PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fixtures)
target_link_options(quarvel_nofactory PRIVATE ${QUARVEL_STATIC_RUNTIME})

if(TARGET check_tool_test)
  quarvel_wine_path(check_exe ${PROJECT_BINARY_DIR}/quarvel-check.exe)
  quarvel_wine_path(nofactory_dll ${PROJECT_BINARY_DIR}/fixtures/NoFactory.dll)
  quarvel_wine_path(readme ${PROJECT_SOURCE_DIR}/README.md)
  target_compile_definitions(check_tool_test PRIVATE QUARVEL_CHECK_EXE="${check_exe}"
    QUARVEL_NOFACTORY_DLL="${nofactory_dll}" QUARVEL_README="${readme}")
  # The log reader's names and the editions' tables, to tell what a log must show.
  target_sources(check_tool_test PRIVATE tools/check/LogLines.cpp
                 $<TARGET_OBJECTS:quarvel_check_core>)
  target_link_libraries(check_tool_test PRIVATE quarvel_simulator)
  add_dependencies(check_tool_test quarvel-check quarvel_nofactory)
endif()
if(TARGET simulator_scenarios_test)
  target_link_libraries(simulator_scenarios_test PRIVATE quarvel_simulator)
endif()

# The demo's script with the simulator program on a few scenarios (every
# scenario runs in simulator_scenarios_test). Needs the private network
# namespace, as all Wine tests do.
add_test(NAME demo_script
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/demo.sh network-up sx-arrears-portal gx-hung ah-password-302)
set_tests_properties(demo_script PROPERTIES TIMEOUT 60
  ENVIRONMENT "QUARVEL_WIN_BUILD=${PROJECT_BINARY_DIR};QUARVEL_DIST=${QUARVEL_DIST_DIR};QUARVEL_WINE=${QUARVEL_WINE_LOADER}")
