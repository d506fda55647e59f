# Checks the include rules between the source folders: each layer includes
# only the layers below it. Reads every `#include "..."` line of the C++
# files in the layer folders and prints one line per include that breaks a
# rule, naming the file, the line and the rule. Fails when there is one.
#
# usage: cmake -DROOT=<source tree> -P CheckLayers.cmake
#
# The rules, bottom to top:
#   engine/    includes only engine/
#   platform/  includes platform/ and engine's leaf headers
#   archive/   includes archive/, platform/ and engine's leaf headers
#   commands/  includes commands/, engine/, platform/ and archive/
#   wizard/    includes wizard/, engine/, platform/ and archive/ (never commands/)
#   startup/   includes anything
#   packer/    includes packer/ and the portable headers of archive/ and
#              engine/: never <windows.h>, nor a header that includes it,
#              except in its Windows file layer (packer/*_win32.cpp)
cmake_minimum_required(VERSION 3.20)

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P CheckLayers.cmake")
endif()

# Headers of engine/ that need nothing else of the engine: fixed-size texts,
# the result codes, and threads and locks.
set(engine_leaves engine/fixed_string.h engine/result_codes.h engine/sync.h)
string(JOIN " and " leaves_text ${engine_leaves})

set(allowed_engine engine/)
set(allowed_platform platform/ ${engine_leaves})
set(allowed_archive archive/ platform/ ${engine_leaves})
set(allowed_commands commands/ engine/ platform/ archive/)
set(allowed_wizard wizard/ engine/ platform/ archive/)
set(allowed_packer packer/ archive/ engine/)

set(rule_engine "engine/ may include only engine/")
set(rule_platform "platform/ may include only platform/, ${leaves_text}")
set(rule_archive "archive/ may include only archive/, platform/, ${leaves_text}")
set(rule_commands "commands/ may include only commands/, engine/, platform/ and archive/")
set(rule_wizard "wizard/ may include only wizard/, engine/, platform/ and archive/")
set(rule_packer "packer/ may include only packer/ and portable headers of archive/ and engine/ (<windows.h> only in packer/*_win32.cpp)")

# True in `out` when `include` (a path relative to ROOT) is allowed by the
# list of folder prefixes and exact header names.
function(is_allowed include allowed out)
  foreach(entry IN LISTS allowed)
    if(entry MATCHES "/$")
      string(LENGTH "${entry}" n)
      string(SUBSTRING "${include}" 0 ${n} prefix)
      if(prefix STREQUAL entry)
        set(${out} TRUE PARENT_SCOPE)
        return()
      endif()
    elseif(include STREQUAL entry)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

# True in `out` when the file includes <windows.h>, itself or through the
# project headers it includes.
function(needs_windows file out)
  set(seen)
  set(queue ${file})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen OR NOT EXISTS "${ROOT}/${current}")
      continue()
    endif()
    list(APPEND seen ${current})
    file(STRINGS "${ROOT}/${current}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(line MATCHES "<windows\\.h>")
        set(${out} TRUE PARENT_SCOPE)
        return()
      endif()
      if(line MATCHES "\"([^\"]+)\"")
        list(APPEND queue ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endwhile()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

set(violations 0)
foreach(layer engine platform archive commands wizard packer)
  file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp"
       "${ROOT}/${layer}/*.inc")
  list(SORT sources)
  foreach(source IN LISTS sources)
    file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    # file(STRINGS) drops line numbers: find each include's line in the text.
    file(READ "${ROOT}/${source}" text)
    foreach(line IN LISTS lines)
      set(include "")
      if(line MATCHES "\"([^\"]+)\"")
        set(include ${CMAKE_MATCH_1})
      elseif(layer STREQUAL "packer" AND line MATCHES "<windows\\.h>" AND
             NOT source MATCHES "^packer/[^/]*_win32\\.cpp$")
        set(include "<windows.h>")
      endif()
      if(include STREQUAL "")
        continue()
      endif()

      set(ok FALSE)
      if(NOT include STREQUAL "<windows.h>")
        is_allowed("${include}" "${allowed_${layer}}" ok)
        if(ok AND layer STREQUAL "packer" AND NOT include MATCHES "^packer/")
          needs_windows("${include}" windows)
          if(windows)
            set(ok FALSE)
          endif()
        endif()
      endif()
      if(NOT ok)
        string(FIND "${text}" "${line}" offset)
        string(SUBSTRING "${text}" 0 ${offset} before)
        string(REGEX MATCHALL "\n" newlines "${before}")
        list(LENGTH newlines line_number)
        math(EXPR line_number "${line_number} + 1")
        message("${source}:${line_number}: includes ${include}, but ${rule_${layer}}")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) break the layer rules")
endif()
message(STATUS "layer rules hold")
