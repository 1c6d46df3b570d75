# Third-party libraries, all from the distribution's packages.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(PANGOFT REQUIRED IMPORTED_TARGET pangoft2)
find_package(OpenSSL REQUIRED)
find_package(RapidJSON REQUIRED)

add_library(tidewake_deps INTERFACE)
target_link_libraries(tidewake_deps INTERFACE
  Threads::Threads PkgConfig::CURL PkgConfig::MINIZIP PkgConfig::ZLIB
  PkgConfig::GTK PkgConfig::FONTCONFIG PkgConfig::PANGOFT OpenSSL::Crypto)
# Third-party headers are system headers: their warnings are not ours to fix.
target_include_directories(tidewake_deps SYSTEM INTERFACE ${RapidJSON_INCLUDE_DIRS} ${RAPIDJSON_INCLUDE_DIRS})
