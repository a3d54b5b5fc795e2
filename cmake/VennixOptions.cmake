# Every target links vennix_options instead of setting flags globally, so the
# language level, warnings and sanitizers stay visible where they apply.
add_library(vennix_options INTERFACE)
target_compile_features(vennix_options INTERFACE cxx_std_20)
target_compile_options(vennix_options INTERFACE -Wall -Wextra)

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

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

# Adds a GoogleTest executable and registers its tests with ctest.
# Labels: "core" for tests that need no display.
function(vennix_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main vennix_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  include(GoogleTest)
  gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" DISCOVERY_TIMEOUT 30)
endfunction()
