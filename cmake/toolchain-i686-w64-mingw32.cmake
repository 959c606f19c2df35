# Cross-build for 32-bit Windows with Debian's mingw-w64 (posix thread model, which has
# std::thread and std::mutex). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KV_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that imports only system DLLs. Windows 7 is the oldest Windows the programs are
# made for: the headers are read for it (_WIN32_WINNT), the manifest declares 7 to 10, and
# the runtime already needs Vista's functions. The images say so (subsystem and system
# version 6.1): an older Windows refuses them at start instead of failing on a missing
# function, and Windows gives them the window metrics of its own time, not an old program's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(
  "LINKER:--major-subsystem-version,6,--minor-subsystem-version,1,--major-os-version,6,--minor-os-version,1")

find_program(KV_WINE wine)
if(KV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE})
endif()
