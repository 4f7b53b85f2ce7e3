# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMAR_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VELMAR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMAR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMAR_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${VELMAR_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VELMAR_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the mingw sysroot and the folders given in
# CMAKE_PREFIX_PATH (the Windows dependencies built from source); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELMAR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands alone: the C and C++ runtimes and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Windows libraries built by scripts/build-windows-deps.sh.
set(VELMAR_WINDOWS_DEPS "" CACHE PATH "Prefix of the Windows dependencies built from source")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMAR_WINDOWS_DEPS)
if(VELMAR_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VELMAR_WINDOWS_DEPS})
  list(APPEND CMAKE_PREFIX_PATH ${VELMAR_WINDOWS_DEPS})
endif()
