# Cross-building for 64-bit Windows: a test build, so that the Windows code is
# tested under 64-bit Wine on machines that cannot run 32-bit programs. The
# deliverables are the 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VC_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
