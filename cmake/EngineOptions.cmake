# Build helpers shared by every folder.
#
# Portable libraries (no <windows.h>) build on every tree. On the native tree
# each also gets a twin with AddressSanitizer and UndefinedBehaviorSanitizer,
# named <name>_san, and every native test gets a sanitized twin as well.

set(ENGINE_IS_NATIVE OFF)
if(NOT WIN32)
  set(ENGINE_IS_NATIVE ON)
endif()

set(ENGINE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
set(ENGINE_THREAD_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)

# Options for code that ships inside the engine: lean, no exceptions or RTTI.
function(engine_code_options target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter
                         $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  if(WIN32)
    # One section per function, so that the linker drops unused ones. Not
    # -fdata-sections: for PE targets GCC then puts every zero-initialised
    # variable into a .data$ section of its own, where its zeros take room
    # in the file, instead of into .bss. -fno-ident leaves out the compiler's
    # version string that every object would add to .rdata.
    target_compile_options(${target} PRIVATE -ffunction-sections -fno-ident)
    # Link-time optimisation of the engine: the executable's link sees all
    # of its code at once. Fat objects keep ordinary code beside the
    # intermediate one, so that the test programs link the same libraries
    # without it.
    target_compile_options(${target} PRIVATE -flto -ffat-lto-objects)
    # Nothing unwinds through the engine (no exceptions), so the 32-bit
    # engine carries no DWARF unwind tables. (The x86-64 ABI's unwind data
    # serves the system's own exception dispatch and stays.)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
      target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
    endif()
    # The system's C runtime (msvcrt) formats and converts: MinGW's own C99
    # printf and strtod would add tens of kilobytes to every engine.
    target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX
                               _WIN32_WINNT=0x0601 WINVER=0x0601 __USE_MINGW_ANSI_STDIO=0)
  endif()
endfunction()

# engine_library(<name> [PORTABLE] SOURCES ... [DEPENDS portable-libs...] [LIBS other-libs...])
# DEPENDS names libraries made by this function: the sanitized twin links the
# sanitized twins of its dependencies.
function(engine_library name)
  cmake_parse_arguments(ARG "PORTABLE" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  engine_code_options(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_LIBS})
  if(ARG_PORTABLE AND ENGINE_IS_NATIVE)
    add_library(${name}_san STATIC ${ARG_SOURCES})
    engine_code_options(${name}_san)
    target_include_directories(${name}_san PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name}_san PRIVATE ${ENGINE_SANITIZER_FLAGS})
    # The fuzzers link these twins: coverage instrumentation lets libFuzzer
    # see into the library, not only into the fuzz target itself.
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      target_compile_options(${name}_san PRIVATE -fsanitize=fuzzer-no-link)
    endif()
    set(san_deps)
    foreach(dep IN LISTS ARG_DEPENDS)
      list(APPEND san_deps ${dep}_san)
    endforeach()
    target_link_libraries(${name}_san PUBLIC ${san_deps} ${ARG_LIBS})
    # And one with the thread sanitizer, built only for the thread suite's
    # tests that link it.
    add_library(${name}_tsan STATIC EXCLUDE_FROM_ALL ${ARG_SOURCES})
    engine_code_options(${name}_tsan)
    target_include_directories(${name}_tsan PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name}_tsan PRIVATE ${ENGINE_THREAD_SANITIZER_FLAGS})
    set(tsan_deps)
    foreach(dep IN LISTS ARG_DEPENDS)
      list(APPEND tsan_deps ${dep}_tsan)
    endforeach()
    target_link_libraries(${name}_tsan PUBLIC ${tsan_deps} ${ARG_LIBS})
  endif()
endfunction()

# Time limits of tests are guards against a hang, sized for a native run. A
# tree whose tests run under emulation (the 32-bit tests run in a virtual
# machine) sets ENGINE_TEST_TIME_SCALE: every limit, those in CTest and the
# waits inside the tests (tests/support/time_scale.h), grows by that factor.
set(ENGINE_TEST_TIME_SCALE 1 CACHE STRING "Factor for the time limits of the tests")

# engine_test_time_limits(<list-var>): scales the value after each TIMEOUT in
# a list of test properties.
function(engine_test_time_limits var)
  set(scaled)
  set(after_timeout OFF)
  foreach(item IN LISTS ${var})
    if(after_timeout)
      math(EXPR item "${item} * ${ENGINE_TEST_TIME_SCALE}")
    endif()
    set(after_timeout OFF)
    if(item STREQUAL "TIMEOUT")
      set(after_timeout ON)
    endif()
    list(APPEND scaled "${item}")
  endforeach()
  set(${var} "${scaled}" PARENT_SCOPE)
endfunction()

# engine_test(<name> SOURCES ... [DEPENDS engine-libs...] [LIBS other-libs...]
#             [LABEL label] [NO_SANITIZER] [TEST_PREFIX prefix]
#             [PROPERTIES prop value ...])
# A GoogleTest binary whose cases are registered with CTest one by one. On the
# native tree a twin <name>_san is built with the sanitizers and labelled
# "sanitizer". TEST_PREFIX is put before every case's name (so that
# `ctest -R <prefix>` selects the binary's cases). Under the win64 tree the
# cases run through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
function(engine_test name)
  cmake_parse_arguments(ARG "NO_SANITIZER" "LABEL;TEST_PREFIX" "SOURCES;DEPENDS;LIBS;PROPERTIES" ${ARGN})
  engine_test_time_limits(ARG_PROPERTIES)
  math(EXPR discovery_timeout "60 * ${ENGINE_TEST_TIME_SCALE}")
  if(NOT ARG_LABEL)
    if(WIN32)
      set(ARG_LABEL wine)
    else()
      set(ARG_LABEL native)
    endif()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_features(${name} PRIVATE cxx_std_17)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  if(WIN32)
    target_link_options(${name} PRIVATE -static)
    target_compile_definitions(${name} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
                               _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
                       TEST_PREFIX "${ARG_TEST_PREFIX}"
                       PROPERTIES LABELS ${ARG_LABEL} ${ARG_PROPERTIES})
  if(ENGINE_IS_NATIVE AND NOT ARG_NO_SANITIZER)
    add_executable(${name}_san ${ARG_SOURCES})
    target_compile_features(${name}_san PRIVATE cxx_std_17)
    target_include_directories(${name}_san PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${name}_san PRIVATE ${ENGINE_SANITIZER_FLAGS})
    target_link_options(${name}_san PRIVATE ${ENGINE_SANITIZER_FLAGS})
    set(san_deps)
    foreach(dep IN LISTS ARG_DEPENDS)
      list(APPEND san_deps ${dep}_san)
    endforeach()
    target_link_libraries(${name}_san PRIVATE ${san_deps} ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name}_san DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         TEST_PREFIX "${ARG_TEST_PREFIX}" TEST_SUFFIX .san
                         PROPERTIES LABELS sanitizer ${ARG_PROPERTIES})
  endif()
endfunction()

# engine_thread_test(<name> SOURCES ... DEPENDS portable-libs... [LIBS other-libs...])
# A native GoogleTest binary built, with the libraries it names, under the
# thread sanitizer, labelled "thread". A reported race fails the case.
function(engine_thread_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
  if(NOT ENGINE_IS_NATIVE)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_features(${name} PRIVATE cxx_std_17)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ENGINE_THREAD_SANITIZER_FLAGS})
  target_link_options(${name} PRIVATE ${ENGINE_THREAD_SANITIZER_FLAGS})
  set(tsan_deps)
  foreach(dep IN LISTS ARG_DEPENDS)
    list(APPEND tsan_deps ${dep}_tsan)
  endforeach()
  target_link_libraries(${name} PRIVATE ${tsan_deps} ${ARG_LIBS} GTest::gtest_main)
  # halt_on_error: the first race ends the case with a failure.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS thread
                       ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endfunction()

# engine_fuzzer(<name> SOURCES ... DEPENDS portable-libs... [CORPUS dir] [SECONDS n])
# A libFuzzer target (clang, ASan + UBSan), run by CTest for a bounded time
# with a fixed seed over its corpus in the repository.
function(engine_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;DEPENDS;LIBS" ${ARGN})
  if(NOT ENGINE_IS_NATIVE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_features(${name} PRIVATE cxx_std_17)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined
                         -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set(san_deps)
  foreach(dep IN LISTS ARG_DEPENDS)
    list(APPEND san_deps ${dep}_san)
  endforeach()
  target_link_libraries(${name} PRIVATE ${san_deps} ${ARG_LIBS})
  # The fuzzer writes new inputs into a scratch copy so that the corpus kept
  # in the repository only changes when a developer adds to it.
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  add_test(NAME fuzz.${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   ${PROJECT_SOURCE_DIR}/scripts/run-fuzzer.sh $<TARGET_FILE:${name}>
                   ${ARG_CORPUS} ${work} ${ARG_SECONDS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

# The shipped engine executable: GUI subsystem, statically linked, stripped,
# unused sections dropped. Its link-time optimisation runs as one unit: the
# engine is small, and MinGW's GCC 12 split into partitions stops with an
# internal compiler error (binds_to_current_def_p) on the engine with its
# wizard.
function(engine_executable_options target)
  target_link_options(${target} PRIVATE -mwindows -static -s -flto -flto-partition=one -Os
                      -Wl,--gc-sections
                      -Wl,--dynamicbase -Wl,--nxcompat
                      -Wl,-Map=$<TARGET_FILE_DIR:${target}>/${target}.map)
endfunction()
