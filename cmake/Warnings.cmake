# Every target of ours compiles with these; third-party headers come in as
# SYSTEM includes so their warnings are not ours to fix.
add_library(pagimor_warnings INTERFACE)
target_compile_options(pagimor_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Werror)
# GCC 12 reports impossible overlaps inside std::string's own inlined code at
# -O3 (GCC bug 105651); the warning says nothing about our code there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(pagimor_warnings INTERFACE -Wno-restrict)
endif()
