# Turns a binary file into a C++ source holding its bytes.
# Usage: cmake -DIN=file -DOUT=file.cpp -P embed.cmake
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from the compiled resource script; do not edit.\n#include <cstddef>\n"
  "extern const unsigned char g_tovikResources[] = {\n${bytes}\n};\n"
  "extern const size_t g_tovikResourcesSize = ${size};\n")
