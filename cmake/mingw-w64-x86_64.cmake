# Cross-builds Windows x86-64 programs with mingw-w64, the posix-threads
# variant (std::thread and std::mutex need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PAGIMOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PAGIMOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAGIMOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PAGIMOR_MINGW_TRIPLET}-windres)

# Libraries and headers come from the target's own root, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PAGIMOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A book is one file a reader copies anywhere: the programs carry their C and
# C++ runtimes and the thread library, and import only the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
