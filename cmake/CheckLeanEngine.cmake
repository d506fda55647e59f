# Checks that a built engine stays lean and self-contained:
#  - it imports only DLLs that every Windows has;
#  - its link map holds none of the heavy runtime parts the engine avoids
#    (C++ exception handling and the C++ library, POSIX threads, MinGW's own
#    C99 printf and strtod).
# usage: cmake -DENGINE=engine.exe -DMAP=engine.map -DOBJDUMP=objdump -P CheckLeanEngine.cmake
execute_process(COMMAND ${OBJDUMP} -p ${ENGINE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${ENGINE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll SHLWAPI.dll
    OLE32.dll OLEAUT32.dll COMCTL32.dll msvcrt.dll)
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" dll_upper)
  set(known FALSE)
  foreach(system IN LISTS system_dlls)
    string(TOUPPER "${system}" system_upper)
    if(dll_upper STREQUAL system_upper)
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    message(FATAL_ERROR "${ENGINE} imports ${dll}, which is not a system DLL")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

file(READ ${MAP} map)
foreach(part "libstdc\\+\\+\\.a\\(eh_" "libstdc\\+\\+\\.a\\(guard" "cp-demangle" "libgcc_eh\\.a\\("
             "libpthread\\.a\\(" "libwinpthread" "mingw_pformat" "strtodg" "iostream")
  if(map MATCHES "${part}")
    message(FATAL_ERROR "${ENGINE} links ${part}: see ${MAP} (Archive member included ...)")
  endif()
endforeach()
file(SIZE ${ENGINE} size)
message(STATUS "${ENGINE}: ${size} bytes, lean")
