# Cross-compiling for 64-bit Windows with MinGW-w64: the same sources as the
# shipped 32-bit program, for running the end-to-end suite where the machine
# cannot execute 32-bit code.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
