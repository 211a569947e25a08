set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RT_MINGW_TRIPLE i686-w64-mingw32)
# A __stdcall entry with no arguments is decorated this way.
set(RT_ENTRY_SYMBOL _rt_start@0)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
