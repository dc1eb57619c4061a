# Every target of ours compiles with these; third-party headers come in as
# SYSTEM includes so their warnings are not ours to fix.
add_library(pagimor_warnings INTERFACE)
target_compile_options(pagimor_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Werror)
