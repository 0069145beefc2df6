# Cross build for the end-to-end tests under Wine: 64-bit Windows (PE32+).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
