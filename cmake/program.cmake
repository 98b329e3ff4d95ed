# The program, written against the device's API only: the same for every
# platform. The platform's CMake defines tovik_platform first.
file(GLOB_RECURSE TOVIK_PROGRAM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
add_library(tovik_program STATIC ${TOVIK_PROGRAM_SOURCES})
target_include_directories(tovik_program PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
target_compile_definitions(tovik_program PRIVATE TOVIK_DEVICE_CRT)
target_compile_options(tovik_program PRIVATE ${TOVIK_WARNINGS})
target_link_libraries(tovik_program PUBLIC tovik_platform)
