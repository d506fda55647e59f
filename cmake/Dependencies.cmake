# Third-party libraries, all from Debian's packages.

# zlib: raw inflate and crc32 for the archive reader. The Windows trees link
# the static libz.a of libz-mingw-w64-dev so that the engine needs no zlib DLL.
if(WIN32)
  find_path(ZLIB_INCLUDE_DIR zlib.h REQUIRED)
  find_library(ZLIB_STATIC_LIBRARY NAMES libz.a REQUIRED)
  add_library(zlib_static STATIC IMPORTED GLOBAL)
  set_target_properties(zlib_static PROPERTIES
    IMPORTED_LOCATION ${ZLIB_STATIC_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${ZLIB_INCLUDE_DIR})
  # The engine's inflate is built from zlib's sources (EngineInflate.cmake);
  # tests that make archives also need deflate, from the full libz.a.
  set(ZLIB_FULL zlib_static)
  include(EngineInflate)
  if(TARGET engine_inflate)
    set(ENGINE_ZLIB engine_inflate)
  else()
    set(ENGINE_ZLIB zlib_static)
  endif()
  # libdeflate: the compressor of the Windows packers (dispack.exe).
  include(PackerDeflate)
else()
  find_package(ZLIB REQUIRED)
  set(ENGINE_ZLIB ZLIB::ZLIB)
  set(ZLIB_FULL ZLIB::ZLIB)
  # libdeflate: the packer's compressor.
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(LIBDEFLATE_LIBRARY NAMES libdeflate.a deflate REQUIRED)
  add_library(libdeflate_static STATIC IMPORTED GLOBAL)
  set_target_properties(libdeflate_static PROPERTIES
    IMPORTED_LOCATION ${LIBDEFLATE_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${LIBDEFLATE_INCLUDE_DIR})
  find_package(Threads REQUIRED)
endif()

# GoogleTest, built from the sources in /usr/src/googletest for every tree
# that runs tests.
set(ENGINE_BUILD_TESTS ON)
if(WIN32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(ENGINE_BUILD_TESTS OFF)
endif()
if(ENGINE_BUILD_TESTS)
  set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)
  enable_testing()
endif()
