# Shows that the layer check catches what it must: builds small source trees
# in `WORK`, each with one kind of include, and runs the check on each. The
# clean tree must pass; every other tree must fail and name the file, the
# line and the include.
#
# usage: cmake -DCHECK=CheckLayers.cmake -DWORK=<scratch folder> -P CheckLayersSelfTest.cmake
cmake_minimum_required(VERSION 3.20)

set(failures 0)

# case(<name> <expect: pass|fail> <file> <line 1>...)
# Writes the case's tree (one file plus a portable and a Windows header it may
# name) and runs the check over it.
function(run_case name expect file)
  set(root "${WORK}/${name}")
  file(REMOVE_RECURSE "${root}")
  file(WRITE "${root}/engine/variables.h" "#pragma once\n")
  file(WRITE "${root}/engine/fixed_string.h" "#pragma once\n")
  file(WRITE "${root}/archive/zip_reader.h" "#pragma once\n#include <cstdint>\n")
  file(WRITE "${root}/archive/payload.h" "#pragma once\n#include \"archive/payload_win32.h\"\n")
  file(WRITE "${root}/archive/payload_win32.h" "#pragma once\n#include <windows.h>\n")
  file(WRITE "${root}/commands/core_commands.h" "#pragma once\n")
  string(JOIN "\n" body ${ARGN})
  file(WRITE "${root}/${file}" "// case ${name}\n${body}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${CHECK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(text "${out}${err}")
  if(expect STREQUAL "pass")
    if(NOT rc EQUAL 0)
      message("case ${name}: the check refused a tree that keeps the rules:\n${text}")
      math(EXPR failures "${failures} + 1")
    endif()
  else()
    list(LENGTH ARGN count)
    math(EXPR line "${count} + 1")
    if(rc EQUAL 0 OR NOT text MATCHES "${file}:${line}: includes ${expect}, but")
      message("case ${name}: expected ${file}:${line} to be refused for ${expect}:\n${text}")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

run_case(clean pass engine/a.cpp "#include \"engine/variables.h\"" "#include <cstring>")
run_case(platform_leaf pass platform/a.cpp "#include \"engine/fixed_string.h\"")
run_case(packer_portable pass packer/a.cpp "#include \"archive/zip_reader.h\"")
run_case(engine_up commands/core_commands.h engine/a.cpp
         "#include \"engine/variables.h\"" "#include \"commands/core_commands.h\"")
run_case(platform_core engine/variables.h platform/a.cpp "#include \"engine/variables.h\"")
run_case(archive_core engine/variables.h archive/a.h "#include \"engine/variables.h\"")
run_case(wizard_commands commands/core_commands.h wizard/page.cpp
         "#include \"commands/core_commands.h\"")
run_case(packer_windows_header archive/payload.h packer/a.cpp "#include \"archive/payload.h\"")
run_case(packer_windows <windows.h> packer/a.cpp "#include <cstdio>" "#include <windows.h>")
run_case(packer_windows_layer pass packer/file_util_win32.cpp "#include <windows.h>")
run_case(packer_windows_header_in_layer <windows.h> packer/file_util_win32.h "#include <windows.h>")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) of the layer check went wrong")
endif()
message(STATUS "the layer check refuses every forbidden include")
