# Native build of the portable code: unit tests under AddressSanitizer and
# UBSan, and (with clang and QUARVEL_FUZZ) the libFuzzer targets.
option(QUARVEL_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(QUARVEL_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra -g)

add_library(quarvel_portable STATIC ${QUARVEL_PORTABLE_SOURCES}
            ${QUARVEL_CURRENT_PORTABLE_SOURCES} ${QUARVEL_EARLIER_PORTABLE_SOURCES})
# quarvel-check's log reader is portable byte code too: tested and fuzzed here.
target_sources(quarvel_portable PRIVATE tools/check/LogLines.cpp)
# So is its model of Windows' private-profile reading.
target_sources(quarvel_portable PRIVATE tools/check/ProfileModel.cpp)
target_include_directories(quarvel_portable PUBLIC ${PROJECT_SOURCE_DIR}
                           ${PROJECT_BINARY_DIR}/generated)
target_compile_options(quarvel_portable PUBLIC ${QUARVEL_SANITIZE})
target_link_options(quarvel_portable PUBLIC ${QUARVEL_SANITIZE})
if(QUARVEL_FUZZ)
  target_compile_options(quarvel_portable PUBLIC -fsanitize=fuzzer-no-link)
endif()

find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)
file(GLOB QUARVEL_NATIVE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(quarvel_native_tests ${QUARVEL_NATIVE_TESTS})
target_link_libraries(quarvel_native_tests PRIVATE quarvel_portable GTest::gtest_main)
gtest_discover_tests(quarvel_native_tests DISCOVERY_TIMEOUT 60)

if(QUARVEL_FUZZ)
  file(GLOB QUARVEL_FUZZERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(src ${QUARVEL_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE quarvel_portable)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
