# Settings every target of the project shares: warnings are errors, built-in texts become GBK bytes.
# The execution charset is GB18030, GBK's superset: every GBK character gets the same bytes, and
# the few library literals outside GBK (C++20 <chrono> has a micro sign) still compile.
# The fuzzing build (clang, which knows no execution charset but UTF-8) keeps the texts as UTF-8:
# the fuzzed readers never show them.
function(tidewake_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wno-error=deprecated-declarations)
  if(NOT TIDEWAKE_FUZZ)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GB18030>)
  endif()
endfunction()

# Programs and test code outside the layers: they may include anything from the source root.
function(tidewake_project_target target)
  tidewake_warnings(${target})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# One library per folder of the launcher, stacked in layers:
#   tidewake_layer(FOLDER [DEPENDS LOWER_FOLDER...] [SOURCES extra...])
# The folder's sources see only its own headers and those of the folders it depends on (and
# theirs): each folder gets an include root of its own in the build tree, holding a link to that
# folder alone, and hands it on to the folders that depend on it. An #include that reaches up
# therefore fails to compile, and scripts/check_layers.py refuses both such an include and a
# call into a folder that was not declared.
function(tidewake_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEPENDS;SOURCES")
  set(name tidewake_${folder})
  set(root "${PROJECT_BINARY_DIR}/layers/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} OBJECT ${sources} ${arg_SOURCES})
  tidewake_warnings(${name})
  target_include_directories(${name} PUBLIC "${root}")
  foreach(lower IN LISTS arg_DEPENDS)
    target_link_libraries(${name} PUBLIC tidewake_${lower})
  endforeach()
  target_link_libraries(${name} PUBLIC tidewake_deps)
endfunction()

# Links the whole launcher library, and on Linux exports it: the GTK module, loaded at run time,
# calls into parts of it that the executable itself may never use.
function(tidewake_link_launcher target)
  target_link_libraries(${target} PRIVATE tidewake_launcher)
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES
      ENABLE_EXPORTS ON LINK_LIBRARY_OVERRIDE_tidewake_launcher WHOLE_ARCHIVE)
  endif()
endfunction()
