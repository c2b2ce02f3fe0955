# Cross build for 32-bit Windows, the release target: the Access generations
# served are 32-bit programs registered in the 32-bit registry view.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARNWICK_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
