set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RT_MINGW_TRIPLE x86_64-w64-mingw32)
set(RT_ENTRY_SYMBOL rt_start)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Programs of this build run here under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
