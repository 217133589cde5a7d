# Cross build for Windows with MinGW-w64 for CMAKE_SYSTEM_PROCESSOR: the
# compilers by their target-prefixed names on the PATH, and the target's own
# headers and libraries where that compiler finds them.
set(CMAKE_SYSTEM_NAME Windows)
set(HACKCOMP_MINGW_TARGET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${HACKCOMP_MINGW_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${HACKCOMP_MINGW_TARGET}-g++)
set(CMAKE_RC_COMPILER ${HACKCOMP_MINGW_TARGET}-windres)

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libkernel32.a
                OUTPUT_VARIABLE kernel32 OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${kernel32}")
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} finds no Windows libraries: is MinGW-w64 installed?")
endif()
get_filename_component(HACKCOMP_MINGW_ROOT "${kernel32}/../.." ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${HACKCOMP_MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
