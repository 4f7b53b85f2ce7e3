# The libraries of the Windows build, from the prefix scripts/build-windows-deps.sh fills.
if(NOT VELMAR_WINDOWS_DEPS OR NOT EXISTS "${VELMAR_WINDOWS_DEPS}/.stamp")
  message(FATAL_ERROR "Windows libraries missing: run scripts/build-windows-deps.sh (make build-windows does)")
endif()
set(deps "${VELMAR_WINDOWS_DEPS}")

find_library(VELMAR_WIN_ZLIB NAMES libz.a REQUIRED)

add_library(Velmar::libzip STATIC IMPORTED)
set_target_properties(Velmar::libzip PROPERTIES
  IMPORTED_LOCATION "${deps}/lib/libzip.a"
  INTERFACE_INCLUDE_DIRECTORIES "${deps}/include"
  INTERFACE_COMPILE_DEFINITIONS ZIP_STATIC
  INTERFACE_LINK_LIBRARIES "${VELMAR_WIN_ZLIB};bcrypt;advapi32")

# For the history; a static SQLite amalgamation.
add_library(Velmar::sqlite3 STATIC IMPORTED)
set_target_properties(Velmar::sqlite3 PROPERTIES
  IMPORTED_LOCATION "${deps}/lib/libsqlite3.a"
  INTERFACE_INCLUDE_DIRECTORIES "${deps}/include")

# nlohmann-json is header-only; the script copies Debian's headers beside the others so that
# no host include folder enters the cross-build.
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${deps}/include")

# Tests run the Windows programs under Wine, in a prefix of this build folder that one
# set-up test creates before the others start.
set(VELMAR_WINEPREFIX "${CMAKE_BINARY_DIR}/wine")
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# Every program carries the manifest that makes UTF-8 its code page.
enable_language(RC)
set(VELMAR_WINDOWS_RESOURCES ${CMAKE_SOURCE_DIR}/packaging/windows/utf8.rc)
