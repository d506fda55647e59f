# Turns engine/strings.inc into a resource script's STRINGTABLE.
# The resource compiler wants "" for a double quote inside a string; the C++
# definition uses \". Everything else (\n, \r) the two read alike.
file(STRINGS ${INPUT} lines ENCODING UTF-8)
set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^ENGINE_STRING\\(([0-9]+), (\".*\")\\)$")
    set(id ${CMAKE_MATCH_1})
    set(text ${CMAKE_MATCH_2})
    string(LENGTH "${text}" length)
    math(EXPR inner "${length} - 2")
    string(SUBSTRING "${text}" 1 ${inner} inner_text)
    string(REPLACE "\\\"" "\"\"" inner_text "${inner_text}")
    string(APPEND body "  ${id}, \"${inner_text}\"\n")
  endif()
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from engine/strings.inc. Do not edit.\nSTRINGTABLE\nBEGIN\n${body}END\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
