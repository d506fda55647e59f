# libdeflate for the Windows packers, built from the same sources as the
# Linux packer's.
#
# The Linux packer links Debian's libdeflate (libdeflate-dev). Debian has
# no MinGW build of it, so the Windows trees compile the Debian source
# package of the same version (scripts/fetch-libdeflate-source.sh unpacks it
# into build/libdeflate once): the same compressor on both systems is what
# makes their packages the same bytes.
#
# Defines the target libdeflate_static, as Dependencies.cmake does on Linux.

set(LIBDEFLATE_SOURCE_DIR ${PROJECT_SOURCE_DIR}/build/libdeflate CACHE PATH
    "The unpacked libdeflate sources for the Windows packers")
execute_process(
  COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/fetch-libdeflate-source.sh ${LIBDEFLATE_SOURCE_DIR}
  RESULT_VARIABLE libdeflate_fetch_result)
if(NOT libdeflate_fetch_result EQUAL 0)
  message(FATAL_ERROR "The Windows packers need the sources of libdeflate "
                      "(scripts/fetch-libdeflate-source.sh failed)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${LIBDEFLATE_SOURCE_DIR}/.debian-version)

file(GLOB libdeflate_sources ${LIBDEFLATE_SOURCE_DIR}/lib/*.c
     ${LIBDEFLATE_SOURCE_DIR}/lib/x86/*.c)
add_library(libdeflate_static STATIC ${libdeflate_sources})
target_include_directories(libdeflate_static SYSTEM PUBLIC ${LIBDEFLATE_SOURCE_DIR})
# The packer's speed is libdeflate's: optimised for speed in every tree.
target_compile_options(libdeflate_static PRIVATE -O2 -w)
