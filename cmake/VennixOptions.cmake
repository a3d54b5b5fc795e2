# Every target links vennix_options instead of setting flags globally, so the
# language level, warnings and sanitizers stay visible where they apply.
add_library(vennix_options INTERFACE)
target_compile_features(vennix_options INTERFACE cxx_std_20)
target_compile_options(vennix_options INTERFACE -Wall -Wextra)
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # In a batch every file counts as included, so GCC takes a class that uses
  # its own file's unnamed namespace for a header's class and warns.
  target_compile_options(vennix_options INTERFACE -Wno-subobject-linkage)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_COMPILER_LAUNCHER)
  # clang stamps a precompiled header with the time it was made; the compiler
  # cache could then never reuse a file compiled with it.
  target_compile_options(vennix_options INTERFACE "SHELL:-Xclang -fno-pch-timestamp")
endif()

if(VENNIX_SANITIZE_ADDRESS)
  # No recovery: an undefined-behaviour report fails the test that caused it.
  target_compile_options(vennix_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                         -fno-omit-frame-pointer)
  target_link_options(vennix_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(VENNIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VENNIX_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Every library is instrumented for coverage and checked; only the fuzz
  # targets themselves link libFuzzer's main (fuzz/CMakeLists.txt).
  target_compile_options(vennix_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vennix_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(VENNIX_SANITIZE_THREAD)
  target_compile_options(vennix_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vennix_options INTERFACE -fsanitize=thread)
endif()

if(WIN32)
  # CancelIoEx needs Vista or later. 64-bit file offsets: the runtime's stat
  # otherwise fails on files of 2 GiB and more instead of giving their size.
  target_compile_definitions(vennix_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 _FILE_OFFSET_BITS=64)
endif()

find_package(Threads REQUIRED)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsCrossDeps.cmake)
else()
  find_package(GTest REQUIRED)
endif()

# Adds a GoogleTest executable and registers its tests with ctest.
# Labels: "core" for tests that need no display.
function(vennix_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main vennix_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_precompile_headers(${name} REUSE_FROM vennix_gtest_pch)
  if(CMAKE_CROSSCOMPILING)
    # Listing the tests would mean starting each program under the emulator
    # at build time; one ctest entry per program is enough there.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  else()
    include(GoogleTest)
    gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" DISCOVERY_TIMEOUT 30)
  endif()
endfunction()
