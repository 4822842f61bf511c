# Checks the executable that ships: no debug information in it (only a link to the
# file beside it that holds it), and no DLL bound at start beyond those the window
# needs before its first paint.
#   cmake -DOBJDUMP=... -DEXE=VornisTools.exe -P ShippedExecutable.cmake
execute_process(COMMAND ${OBJDUMP} -h -p ${EXE} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
if(dump MATCHES "[ \t]\\.debug_" OR NOT dump MATCHES "\\.gnu_debuglink")
  message(FATAL_ERROR "${EXE} carries debug information or lacks its debug link")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(TOLOWER "${dlls}" dlls)
list(TRANSFORM dlls REPLACE "dll name: " "")
list(REMOVE_ITEM dlls kernel32.dll user32.dll gdi32.dll comctl32.dll ole32.dll msvcrt.dll)
if(dlls)
  message(FATAL_ERROR "${EXE} binds at start: ${dlls}")
endif()
