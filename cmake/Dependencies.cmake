# Third-party libraries. Linux: the distribution's packages through pkg-config, and minizip built
# from zlib's source by scripts/build-minizip.sh (through scripts/deps.sh).
# Windows (cross-built with MinGW-w64): zlib from libz-mingw-w64-dev, libcurl, libsodium and
# minizip from scripts/build-windows-deps.sh, RapidJSON's headers from the host (header-only).
# Both platforms link the same minizip: zlib's contrib/minizip from Debian's zlib source package.
find_package(Threads REQUIRED)
add_library(tidewake_deps INTERFACE)

if(WIN32)
  set(TIDEWAKE_WINDOWS_DEPS "${PROJECT_SOURCE_DIR}/third_party_build/mingw" CACHE PATH
      "Prefix of the libcurl, libsodium and minizip built by scripts/build-windows-deps.sh")
  foreach(library libcurl libsodium)
    if(NOT EXISTS "${TIDEWAKE_WINDOWS_DEPS}/lib/${library}.a")
      message(FATAL_ERROR "No Windows ${library} in ${TIDEWAKE_WINDOWS_DEPS}: run scripts/build-windows-deps.sh")
    endif()
  endforeach()
  find_library(TIDEWAKE_MINGW_ZLIB NAMES libz.a REQUIRED)
  find_path(TIDEWAKE_RAPIDJSON_INCLUDE rapidjson/document.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            NO_DEFAULT_PATH REQUIRED)
  # Only RapidJSON from the host's include folder: the rest of /usr/include is Linux's.
  set(TIDEWAKE_RAPIDJSON_ONLY "${PROJECT_BINARY_DIR}/rapidjson-include")
  file(MAKE_DIRECTORY "${TIDEWAKE_RAPIDJSON_ONLY}")
  file(CREATE_LINK "${TIDEWAKE_RAPIDJSON_INCLUDE}/rapidjson" "${TIDEWAKE_RAPIDJSON_ONLY}/rapidjson"
       SYMBOLIC)

  add_library(tidewake_zlib STATIC IMPORTED)
  set_target_properties(tidewake_zlib PROPERTIES IMPORTED_LOCATION "${TIDEWAKE_MINGW_ZLIB}")
  add_library(tidewake_minizip STATIC IMPORTED)
  set_target_properties(tidewake_minizip PROPERTIES
    IMPORTED_LOCATION "${TIDEWAKE_WINDOWS_DEPS}/lib/libminizip.a"
    INTERFACE_LINK_LIBRARIES tidewake_zlib)
  add_library(tidewake_curl STATIC IMPORTED)
  set_target_properties(tidewake_curl PROPERTIES
    IMPORTED_LOCATION "${TIDEWAKE_WINDOWS_DEPS}/lib/libcurl.a"
    INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
    INTERFACE_LINK_LIBRARIES "tidewake_zlib;bcrypt;advapi32;crypt32;ws2_32;secur32")
  # Static: without SODIUM_STATIC its header declares every function as imported from a DLL.
  add_library(tidewake_sodium STATIC IMPORTED)
  set_target_properties(tidewake_sodium PROPERTIES
    IMPORTED_LOCATION "${TIDEWAKE_WINDOWS_DEPS}/lib/libsodium.a"
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES advapi32)

  target_link_libraries(tidewake_deps INTERFACE Threads::Threads tidewake_curl tidewake_sodium
    tidewake_minizip tidewake_zlib gdiplus ole32 advapi32 gdi32 user32 imm32 shell32 winhttp)
  # minizip's headers are included as <unzip.h>, as Debian's pkg-config file arranges.
  target_include_directories(tidewake_deps SYSTEM INTERFACE "${TIDEWAKE_WINDOWS_DEPS}/include"
    "${TIDEWAKE_WINDOWS_DEPS}/include/minizip" "${TIDEWAKE_RAPIDJSON_ONLY}")
  # <curl/curl.h> brings <windows.h> into neutral code: keep its min/max macros out of std::min.
  target_compile_definitions(tidewake_deps INTERFACE NOMINMAX)
  return()
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
if(NOT TIDEWAKE_PUBLISHER_ONLY)
  pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
  pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  pkg_check_modules(PANGOFT REQUIRED IMPORTED_TARGET pangoft2)
endif()
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
find_package(OpenSSL REQUIRED)
find_package(RapidJSON REQUIRED)

# Not Debian's minizip package: that older fork ignores the Zip64 fields of the central directory,
# so it cannot read a package past 4 GiB.
set(TIDEWAKE_LINUX_DEPS "${PROJECT_SOURCE_DIR}/third_party_build/linux" CACHE PATH
    "Prefix of the minizip built by scripts/build-minizip.sh linux")
if(NOT EXISTS "${TIDEWAKE_LINUX_DEPS}/lib/libminizip.a")
  message(FATAL_ERROR "No minizip in ${TIDEWAKE_LINUX_DEPS}: run scripts/deps.sh")
endif()
add_library(tidewake_minizip STATIC IMPORTED)
set_target_properties(tidewake_minizip PROPERTIES
  IMPORTED_LOCATION "${TIDEWAKE_LINUX_DEPS}/lib/libminizip.a"
  INTERFACE_LINK_LIBRARIES PkgConfig::ZLIB)

target_link_libraries(tidewake_deps INTERFACE
  Threads::Threads PkgConfig::CURL tidewake_minizip PkgConfig::ZLIB PkgConfig::SODIUM OpenSSL::Crypto)
if(NOT TIDEWAKE_PUBLISHER_ONLY)
  target_link_libraries(tidewake_deps INTERFACE
    PkgConfig::PANGOCAIRO PkgConfig::FONTCONFIG PkgConfig::PANGOFT)
endif()
# GTK itself only in the module of the GTK backend (platform/CMakeLists.txt).
# Third-party headers are system headers: their warnings are not ours to fix.
target_include_directories(tidewake_deps SYSTEM INTERFACE ${RapidJSON_INCLUDE_DIRS} ${RAPIDJSON_INCLUDE_DIRS}
  "${TIDEWAKE_LINUX_DEPS}/include/minizip")
