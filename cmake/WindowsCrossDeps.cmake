# What the Windows cross build takes from the build machine: GoogleTest built
# from Debian's sources with the cross compiler, and the header-only CLI11 and
# nlohmann-json. Their headers are shown to the cross compiler through a folder
# of links, never the whole of /usr/include, whose system headers are Linux's.

set(VENNIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's libgtest-dev)")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VENNIX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(VENNIX_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${VENNIX_HOST_HEADERS})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing; run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${VENNIX_HOST_HEADERS}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 INTERFACE ${VENNIX_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${VENNIX_HOST_HEADERS})
