# The Windows build's tests: the platform-neutral suites and the Win32 backends' own cases, built
# with MinGW-w64 and run under Wine (CMAKE_CROSSCOMPILING_EMULATOR). Suites that need the
# loopback HTTPS server (cpp-httplib with OpenSSL), fork(), OpenSSL as a reference (the digest
# cases: tests/win32 compares with md5sum instead) or the GTK backend stay Linux-only;
# the whole launcher road under Wine is scripts/windows-road.sh.

# Debian's GoogleTest sources, built with this toolchain.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(support_sources
  support/fake_message_box.cpp support/fake_requester.cpp support/fresh_drawables.cpp
  support/recording_canvas.cpp support/run_log_lines.cpp support/temp_dir.cpp support/transfer_recorder.cpp
  support/unzip_recorder.cpp support/zip_builder.cpp)
list(TRANSFORM support_sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_library(tidewake_test_support STATIC ${support_sources})
tidewake_project_target(tidewake_test_support)
target_link_libraries(tidewake_test_support PUBLIC tidewake_launcher GTest::gtest)
# Wine maps the Linux root to drive Z:.
target_compile_definitions(tidewake_test_support PUBLIC
  TIDEWAKE_TEST_BINARY_DIR="Z:${CMAKE_CURRENT_BINARY_DIR}"
  TIDEWAKE_SOURCE_DIR="Z:${PROJECT_SOURCE_DIR}")

# The suites, file by file: what is left out needs a Linux-only helper named above.
set(windows_suites
  core:strings_test,random_numbers_test
  fs:path_join_test,text_file_test,download_record_test,directory_test,safe_path_test,run_log_test
  update:check_test,last_file_info_test,fallback_request_test,json_util_test,version_strings_test,minisign_test
  install:clean_up_test,entry_names_test,start_unzip_test,unzip_failure_test,unzip_test,unzip_threads_test,zip64_archive_test,zip_directory_test,package_manifest_test,delta_plan_test,delta_archive_test
  net:remember_package_test,run_delayed_test,proxy_choice_test
  app:format_size_test,ui_queue_test
  ui:click_dispatch_test,forms_test,my_image_test,my_label_test,painter_test
  win32:*)

# Cases that state Linux's rules and have no Windows form yet; each needs its Windows twin:
# - JoinPath's and the walk's expectations are written with "/" (Windows joins with "\");
# - "\" is a file-name character only on Linux; log lines quote the platform's separator;
# - Chinese entry names are looked up by their UTF-8 bytes as a narrow path (Windows reads narrow
#   paths in the ANSI code page; its twins are in win32/);
# - the longest name is sized for Linux's PATH_MAX (Windows: MAX_PATH); /dev/full is Linux's;
# - death tests re-run the program, whose real message box would wait for a click;
# - the window icon is an icon resource on Windows, not PNG bytes (its twin is in win32/);
# - Wine refuses the sparse file of a terabyte that stands for a file the archive replaces.
# Left out as well: the Western code page's own case, run in the en_US prefix (win32.cp1252).
set(windows_only_not
  "JoinPath.InsertsExactlyOneSeparator:JoinPath.BackslashIsAFileNameCharacterOnLinux"
  "DirectoryTest.WalkIsPostOrderWithSubdirectoriesBeforeFiles"
  "UnzipTest.BackslashSeparatesFoldersToo:UnzipTest.DestinationWithOrWithoutTrailingSeparatorGivesTheSamePaths"
  "UnzipTest.ChineseNamesAreWrittenInThePlatformEncoding:UnzipTest.LongestNameThatFitsIsExtracted"
  "UnzipFailureTest.DestinationThatCannotBeCreated:UnzipFailureTest.FolderBlockedByAFile"
  "ExtractEntryTest.FullDiskIsAFailureForSmallAndLargeEntries"
  "Zip64Test.FilesTheArchiveReplacesGiveTheirRoomBack"
  "*DeathTest*"
  "LoadPngResource.GivesTheWindowIconAsPng"
  "CodePage1252.*")
list(JOIN windows_only_not ":" windows_filter)

foreach(suite ${windows_suites})
  string(REPLACE ":" ";" parts "${suite}")
  list(GET parts 0 area)
  list(GET parts 1 names)
  if(names STREQUAL "*")
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*_test.cpp)
  else()
    string(REPLACE "," ";" names "${names}")
    set(test_sources "")
    foreach(name ${names})
      list(APPEND test_sources ${CMAKE_CURRENT_SOURCE_DIR}/${area}/${name}.cpp)
    endforeach()
  endif()
  if(NOT test_sources)
    continue()
  endif()
  add_executable(tidewake_${area}_tests ${test_sources}
    ${CMAKE_CURRENT_SOURCE_DIR}/windows/gdiplus_environment.cpp)
  tidewake_project_target(tidewake_${area}_tests)
  target_link_libraries(tidewake_${area}_tests PRIVATE tidewake_test_support GTest::gtest_main)
  # As in the Linux suites: the cases' own code needs no optimising, and the headers nearly every
  # case includes are parsed once per suite.
  target_compile_options(tidewake_${area}_tests PRIVATE -O0)
  target_precompile_headers(tidewake_${area}_tests PRIVATE <gtest/gtest.h> <algorithm> <chrono>
    <filesystem> <functional> <memory> <optional> <string> <thread> <vector>)
  # One Wine start per suite: starting Wine for every case would cost more than the cases.
  add_test(NAME ${area} COMMAND tidewake_${area}_tests --gtest_color=no
    "--gtest_filter=-${windows_filter}")
  set_tests_properties(${area} PROPERTIES TIMEOUT 300)
endforeach()

# The signature check's cost under Wine, for scripts/bench/signatures.sh; not run by ctest.
add_executable(tidewake_signature_bench EXCLUDE_FROM_ALL
  ${CMAKE_CURRENT_SOURCE_DIR}/bench/signature_bench.cpp)
tidewake_project_target(tidewake_signature_bench)
target_link_libraries(tidewake_signature_bench PRIVATE tidewake_launcher)

if(TARGET tidewake_win32_tests)
  include(${CMAKE_CURRENT_SOURCE_DIR}/win32/win32_tests.cmake)
endif()
add_dependencies(tidewake_install_tests tidewake_zip64_archives)

# The launcher of a signed release, trusting the test signing key, beside tidewake.exe: the road
# suite's Windows cases of signed releases run it.
add_executable(tidewake_signed WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/entry_win32.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/signed_launcher/trust_test_key.cpp)
target_link_options(tidewake_signed PRIVATE -municode)
tidewake_project_target(tidewake_signed)
tidewake_link_launcher(tidewake_signed)
target_compile_definitions(tidewake_signed PRIVATE
  TIDEWAKE_TEST_SIGNING_PUBLIC_KEY="${TIDEWAKE_TEST_SIGNING_PUBLIC_KEY}")
set_target_properties(tidewake_signed PROPERTIES
  OUTPUT_NAME tidewake-signed RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}")
