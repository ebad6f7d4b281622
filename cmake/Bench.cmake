# quarvel-bench.exe: load times, timings of Get and CheckNetDisconType of both
# editions against local servers, and the process's memory and handles around
# many Gets. ./quarvel bench runs it in the private network namespace.
quarvel_wine_path(bench_current_dll ${QUARVEL_DIST_DIR}/current/Quarvel.dll)
quarvel_wine_path(bench_earlier_dll ${QUARVEL_DIST_DIR}/earlier/Quarvel.dll)

add_executable(quarvel_bench tools/bench/bench.cpp tools/bench/LogReading.cpp)
set_target_properties(quarvel_bench PROPERTIES
  OUTPUT_NAME quarvel-bench
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_include_directories(quarvel_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_options(quarvel_bench PRIVATE ${QUARVEL_WARNINGS} -fexec-charset=CP936)
quarvel_wine_path(bench_check_exe ${PROJECT_BINARY_DIR}/quarvel-check.exe)
target_compile_definitions(quarvel_bench PRIVATE QUARVEL_CHECK_EXE="${bench_check_exe}"
  QUARVEL_CURRENT_DLL="${bench_current_dll}" QUARVEL_EARLIER_DLL="${bench_earlier_dll}"
  WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_libraries(quarvel_bench PRIVATE quarvel_test_kit psapi)
target_link_options(quarvel_bench PRIVATE ${QUARVEL_STATIC_RUNTIME})
add_dependencies(quarvel_bench quarvel_current quarvel_earlier quarvel-check)
