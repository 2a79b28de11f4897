# The 64-bit Windows test build: the same source, for machines that run no
# 32-bit programs (its tests run under wine64). Not shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
