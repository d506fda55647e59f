# zlib's inflate, built for the engine from zlib's own sources.
#
# The engine needs raw inflate only. The static libz.a of libz-mingw-w64-dev
# is built for speed, without function sections, so it brings about 21 KB of
# code (inflateBack, inflateSync, the gzip wrapper, ...) into every engine.
# Built here, size-optimised, with function sections and without the gzip
# wrapper, the same inflate takes less than half of that; the hot loop
# (inffast.c) keeps -O2.
#
# The sources come from a Debian package: binutils-source carries an exact
# copy of zlib (binutils-<version>/zlib/) in its source tarball. They are
# extracted into the build tree at configure time; nothing of zlib is kept in
# this repository.
#
# Defines the target engine_inflate, or leaves it undefined when the sources
# cannot be found (the engine then links the prebuilt libz.a).

set(ENGINE_INFLATE_FILES inflate.c inffast.c inftrees.c zutil.c inflate.h inffast.h
    inftrees.h inffixed.h zutil.h zlib.h zconf.h gzguts.h)

file(GLOB engine_inflate_tarballs /usr/src/binutils/binutils-*.tar.xz)
if(NOT engine_inflate_tarballs)
  message(WARNING "binutils-source is not installed: the engine links the prebuilt libz.a")
  return()
endif()
list(GET engine_inflate_tarballs 0 engine_inflate_tarball)
get_filename_component(engine_inflate_top ${engine_inflate_tarball} NAME)
string(REGEX REPLACE "\\.tar\\.xz$" "" engine_inflate_top ${engine_inflate_top})

set(ENGINE_INFLATE_DIR ${CMAKE_BINARY_DIR}/zlib-inflate)
set(engine_inflate_missing FALSE)
foreach(f IN LISTS ENGINE_INFLATE_FILES)
  if(NOT EXISTS ${ENGINE_INFLATE_DIR}/${f})
    set(engine_inflate_missing TRUE)
  endif()
endforeach()
if(engine_inflate_missing)
  file(REMOVE_RECURSE ${ENGINE_INFLATE_DIR})
  file(MAKE_DIRECTORY ${ENGINE_INFLATE_DIR})
  set(members)
  foreach(f IN LISTS ENGINE_INFLATE_FILES)
    list(APPEND members ${engine_inflate_top}/zlib/${f})
  endforeach()
  execute_process(
    COMMAND tar -xJf ${engine_inflate_tarball} --strip-components=2 -C ${ENGINE_INFLATE_DIR}
            ${members}
    RESULT_VARIABLE engine_inflate_result ERROR_VARIABLE engine_inflate_error)
  if(NOT engine_inflate_result EQUAL 0)
    message(WARNING "cannot extract zlib from ${engine_inflate_tarball}: ${engine_inflate_error}"
                    "; the engine links the prebuilt libz.a")
    return()
  endif()
endif()

add_library(engine_inflate STATIC
  ${ENGINE_INFLATE_DIR}/inflate.c
  ${ENGINE_INFLATE_DIR}/inffast.c
  ${ENGINE_INFLATE_DIR}/inftrees.c
  ${ENGINE_INFLATE_DIR}/zutil.c)
# The engine's headers see this copy's zlib.h, not the system's.
target_include_directories(engine_inflate BEFORE PUBLIC ${ENGINE_INFLATE_DIR})
# Raw inflate never reads a gzip header.
target_compile_definitions(engine_inflate PRIVATE NO_GZIP)
target_compile_options(engine_inflate PRIVATE -Os -ffunction-sections -w)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  target_compile_options(engine_inflate PRIVATE -fno-asynchronous-unwind-tables)
endif()
set_source_files_properties(${ENGINE_INFLATE_DIR}/inffast.c PROPERTIES COMPILE_OPTIONS -O2)
