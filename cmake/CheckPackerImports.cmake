# Checks that a Windows packer (dispack.exe) runs on any Windows as it is
# copied there: a console program that imports only the system's own DLLs,
# with the C++ runtime, libgcc and the thread library linked in.
# usage: cmake -DPACKER=dispack.exe -DOBJDUMP=objdump -P CheckPackerImports.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${PACKER} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${PACKER}")
endif()
if(NOT dump MATCHES "Subsystem[ \t]+00000003")
  message(FATAL_ERROR "${PACKER} is not a console program")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls KERNEL32.DLL MSVCRT.DLL ADVAPI32.DLL SHELL32.DLL USER32.DLL)
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" dll_upper)
  if(NOT dll_upper IN_LIST system_dlls)
    message(FATAL_ERROR "${PACKER} imports ${dll}, which is not a system DLL "
                        "(libstdc++, libgcc and winpthread must be linked statically)")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
file(SIZE ${PACKER} size)
message(STATUS "${PACKER}: ${size} bytes, a console program that needs only system DLLs")
