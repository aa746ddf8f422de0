# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads).
#
#   scripts/windows-deps
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The static libraries the tool links (libmspack, ISA-L, GoogleTest) are
# looked up under PANDREL_WINDOWS_DEPS, the prefix scripts/windows-deps
# installs into, and under the mingw-w64 sysroot. Test programs run under
# wine through scripts/wine-run.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_pandrel_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_pandrel_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_pandrel_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_pandrel_triple}-windres)

# The prefix with the cross-built libraries. The default follows the deps
# folder of scripts/windows-deps: PANDREL_WINDOWS_DEPS_DIR from the
# environment when set, build-windows-deps beside the sources otherwise.
if(DEFINED ENV{PANDREL_WINDOWS_DEPS_DIR} AND NOT "$ENV{PANDREL_WINDOWS_DEPS_DIR}" STREQUAL "")
  set(_pandrel_deps_default "$ENV{PANDREL_WINDOWS_DEPS_DIR}/prefix")
else()
  set(_pandrel_deps_default "${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps/prefix")
endif()
get_filename_component(_pandrel_deps_default "${_pandrel_deps_default}" ABSOLUTE)
set(PANDREL_WINDOWS_DEPS "${_pandrel_deps_default}" CACHE PATH
  "Prefix with the cross-built static libraries (scripts/windows-deps)")
# try_compile projects read this file again: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PANDREL_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_pandrel_triple} "${PANDREL_WINDOWS_DEPS}")
# Libraries, headers and CMake packages come from the target's roots only;
# programs (wine, python, git, ...) from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, when a project asks it, sees the target's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "${PANDREL_WINDOWS_DEPS}/lib/pkgconfig:/usr/${_pandrel_triple}/lib/pkgconfig")

# off_t is 64 bits wide, as on 64-bit Linux: libmspack is built so
# (scripts/windows-deps), and mspack.h's callbacks take an off_t.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")

# The programs carry libgcc, libstdc++ and winpthread in themselves, so
# that they need no DLL beyond the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# add_test, gtest_discover_tests and try_run start target programs under wine.
get_filename_component(_pandrel_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_pandrel_wine_run}")
