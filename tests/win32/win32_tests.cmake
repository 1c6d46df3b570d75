# The Win32 backends' own cases: the files they need and the programs they start.
target_sources(tidewake_win32_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/wake_listener.cpp)
target_compile_definitions(tidewake_win32_tests PRIVATE
  TIDEWAKE_SAMPLE_GAME="Z:$<TARGET_FILE:tidewake_sample_game>"
  TIDEWAKE_LAUNCHER="Z:$<TARGET_FILE:tidewake>")
add_dependencies(tidewake_win32_tests tidewake_sample_game tidewake)

# The digest cases compare with md5sum, run on the Linux side before the suite.
add_test(NAME win32.md5_fixtures
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/make_md5_fixtures.sh ${CMAKE_CURRENT_BINARY_DIR}/md5-fixtures)
set_tests_properties(win32.md5_fixtures PROPERTIES FIXTURES_SETUP md5_fixtures)
set_tests_properties(win32 PROPERTIES FIXTURES_REQUIRED md5_fixtures
  RESOURCE_LOCK launcher_processes)

# The cases that must hold in any code page, again in a Wine prefix made under en_US (ANSI code
# page 1252; scripts/test-windows.sh makes it, lib/wine_prefix.sh says how).
set(TIDEWAKE_WINE_PREFIX_EN_US "${PROJECT_SOURCE_DIR}/build/wine-prefix-en_US" CACHE PATH
  "Wine prefix made under en_US.UTF-8, for the code page 1252 cases")
set(TIDEWAKE_LOCALE_DIR "${PROJECT_SOURCE_DIR}/build/locale" CACHE PATH
  "Compiled locales (LOCPATH) for the Wine runs")
add_test(NAME win32.cp1252 COMMAND tidewake_win32_tests --gtest_color=no
  "--gtest_filter=CodePage1252.*:AnyCodePage*:*/AnyCodePage*")
set_tests_properties(win32.cp1252 PROPERTIES TIMEOUT 300 LABELS cp1252
  ENVIRONMENT "WINEPREFIX=${TIDEWAKE_WINE_PREFIX_EN_US};LOCPATH=${TIDEWAKE_LOCALE_DIR};LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8")

# Read by the Linux road suite when it runs the Windows launcher under Wine: the message boxes
# that appear, in the headless boxes' form.
add_executable(tidewake_message_box_watcher ${CMAKE_CURRENT_LIST_DIR}/message_box_watcher.cpp)
tidewake_project_target(tidewake_message_box_watcher)

# Holds a file without sharing while the road suite's launcher installs over it.
add_executable(tidewake_file_holder ${CMAKE_CURRENT_LIST_DIR}/file_holder.cpp)
tidewake_project_target(tidewake_file_holder)

# The release step: the launcher signed with a certificate of a CA of our own, verified, tampered
# with, and started under Wine.
add_test(NAME win32.signing COMMAND ${CMAKE_CURRENT_LIST_DIR}/sign_windows_test.sh
  $<TARGET_FILE:tidewake> ${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh)
set_tests_properties(win32.signing PROPERTIES TIMEOUT 120 RESOURCE_LOCK launcher_processes)

# The launcher's way of taking its arguments, in a program of its own to start with odd lines.
add_executable(tidewake_argument_echo WIN32 ${CMAKE_CURRENT_LIST_DIR}/argument_echo.cpp)
tidewake_project_target(tidewake_argument_echo)
target_link_libraries(tidewake_argument_echo PRIVATE tidewake_platform)
target_link_options(tidewake_argument_echo PRIVATE -municode)
target_compile_definitions(tidewake_win32_tests PRIVATE
  TIDEWAKE_ARGUMENT_ECHO="Z:$<TARGET_FILE:tidewake_argument_echo>")
add_dependencies(tidewake_win32_tests tidewake_argument_echo)
