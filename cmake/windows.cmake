# The Windows build (mingw-w64): the same program sources over Windows' own
# API. platform/win32 replaces platform/host, windres compiles the
# resources straight into the executable, and there is no terminal layer.
# Included by the top-level CMakeLists.txt when WIN32 is set.
enable_language(RC)

set(TOVIK_WIN32_INCLUDE ${CMAKE_SOURCE_DIR}/platform/win32/include ${CMAKE_SOURCE_DIR}/platform/include)
set(TOVIK_WIN32_LINK -static -municode)

file(GLOB TOVIK_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/src/*.cpp)
list(FILTER TOVIK_PLATFORM_SOURCES EXCLUDE REGEX ".*/entry\\.cpp$")
add_library(tovik_platform STATIC ${TOVIK_PLATFORM_SOURCES})
target_include_directories(tovik_platform PUBLIC ${TOVIK_WIN32_INCLUDE})
target_compile_options(tovik_platform PRIVATE ${TOVIK_WARNINGS})
target_link_libraries(tovik_platform PUBLIC shell32 user32)

include(${CMAKE_SOURCE_DIR}/cmake/program.cmake)

# res/tovik.rc includes "rcdefs.h", which here is Windows' own <winresrc.h>.
add_executable(tovik WIN32 ${CMAKE_SOURCE_DIR}/platform/win32/src/entry.cpp
                           ${CMAKE_SOURCE_DIR}/res/tovik.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/tovik.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/resource.h;${CMAKE_SOURCE_DIR}/res/tovik.ico;${TOVIK_GENERATED}/tovik_version.h")
target_include_directories(tovik PRIVATE ${TOVIK_WIN32_INCLUDE} ${CMAKE_SOURCE_DIR}/res ${TOVIK_GENERATED})
target_compile_options(tovik PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVIK_WARNINGS}>)
target_link_options(tovik PRIVATE ${TOVIK_WIN32_LINK})
target_link_libraries(tovik PRIVATE tovik_program tovik_platform)

# tovik-diff.exe, the snapshot comparison: standard C++ only, linked
# statically like the program, beside tovik.exe in the build folder.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/diff ${CMAKE_BINARY_DIR}/tools/diff)
set_target_properties(tovik-diff PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(tovik-diff PRIVATE -static)

# The conformance tests: the platform's behaviour checked against Windows'
# own implementation (run under Wine by scripts/test-windows.sh), with
# GoogleTest built from Debian's source package by this toolchain.
if(TOVIK_TESTS)
  set(TOVIK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${TOVIK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  file(GLOB TOVIK_CONFORMANCE_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp
    ${CMAKE_SOURCE_DIR}/tests/conformance/win32/*.cpp)
  add_executable(tovik_conformance ${TOVIK_CONFORMANCE_SOURCES} ${CMAKE_SOURCE_DIR}/res/tovik.rc)
  target_include_directories(tovik_conformance PRIVATE ${CMAKE_SOURCE_DIR}/tests/conformance
                                                       ${CMAKE_SOURCE_DIR}/tests/support
                                                       ${TOVIK_WIN32_INCLUDE} ${CMAKE_SOURCE_DIR}/res
                                                       ${TOVIK_GENERATED})
  target_compile_options(tovik_conformance PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVIK_WARNINGS}>)
  target_link_options(tovik_conformance PRIVATE -static)
  target_link_libraries(tovik_conformance PRIVATE tovik_platform GTest::gtest GTest::gtest_main)
endif()
