# Settings every target of the project shares: warnings are errors, built-in texts become GBK bytes.
# The execution charset is GB18030, GBK's superset: every GBK character gets the same bytes, and
# the few library literals outside GBK (C++20 <chrono> has a micro sign) still compile.
function(tidewake_project_target target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wno-error=deprecated-declarations
    $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GB18030>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# One object library per subsystem, made of the sources of its folder.
function(tidewake_subsystem name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources AND NOT ARGN)
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE tidewake_deps)
    return()
  endif()
  add_library(${name} OBJECT ${sources} ${ARGN})
  tidewake_project_target(${name})
  target_link_libraries(${name} PUBLIC tidewake_deps)
endfunction()

# Links the whole core, and on Linux exports it: the GTK module, loaded at run time, calls into
# parts of it that the executable itself may never use.
function(tidewake_link_core target)
  target_link_libraries(${target} PRIVATE tidewake_core)
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES
      ENABLE_EXPORTS ON LINK_LIBRARY_OVERRIDE_tidewake_core WHOLE_ARCHIVE)
  endif()
endfunction()
