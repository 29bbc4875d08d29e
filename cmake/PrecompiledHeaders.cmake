# Precompiled headers: Qt's and GoogleTest's headers are most of what a
# file of this project costs to compile, and every library and test program
# includes the same few. One header is precompiled per kind of target (Qt
# Core only, Qt Widgets, and each with GoogleTest for the tests) and every
# other target of that kind reuses it.
#
# A target's kind is found from what it links, so new libraries and tests
# need nothing of their own. A compiler that finds a precompiled header it
# cannot use (-Winvalid-pch says so) parses the headers as before.

option(SIRENSET_PCH "Precompile the Qt and GoogleTest headers" ON)

# Test programs are compiled for a quick build, not for speed: the product
# code they link keeps the build type's flags. Line tables are all that a
# failed assertion's or a sanitizer's stack needs. The tests' precompiled
# headers are made with the same flags, as they must be to be used.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(SIRENSET_TEST_COMPILE_OPTIONS -g1)
else()
  set(SIRENSET_TEST_COMPILE_OPTIONS -O1 -g1)
endif()

# What `target` reaches through its link libraries, as a list in <out> of
# "widgets", "core" (any Qt module), "gtest" and "base" (the project's own
# definitions).
function(_sirenset_reaches target out)
  get_property(done GLOBAL PROPERTY _sirenset_reach_${target} SET)
  if(done)
    get_property(result GLOBAL PROPERTY _sirenset_reach_${target})
  else()
    set(result "")
    set(libs "")
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${target} LINK_LIBRARIES)
      if(direct)
        list(APPEND libs ${direct})
      endif()
    endif()
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND libs ${interface})
    endif()
    foreach(lib IN LISTS libs)
      if(lib STREQUAL "Qt6::Widgets")
        list(APPEND result widgets core)
      elseif(lib MATCHES "^Qt6::")
        list(APPEND result core)
      elseif(lib STREQUAL "sirenset_base")
        list(APPEND result base)
      elseif(lib MATCHES "^GTest::")
        list(APPEND result gtest)
      elseif(lib MATCHES "^sirenset" AND TARGET ${lib})
        _sirenset_reaches(${lib} sub)
        list(APPEND result ${sub})
      endif()
    endforeach()
    list(REMOVE_DUPLICATES result)
    set_property(GLOBAL PROPERTY _sirenset_reach_${target} "${result}")
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Every buildable C++ target below `dir`.
function(_sirenset_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _sirenset_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} "${targets}" PARENT_SCOPE)
endfunction()

function(sirenset_precompile_headers)
  # The fuzzers are built with clang and flags of their own, which a
  # shared precompiled header would not match.
  if(NOT SIRENSET_PCH OR SIRENSET_FUZZ)
    return()
  endif()
  set(pch_dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pch)

  # The donors: one small library per kind that compiles its header.
  set(kinds core gui)
  if(SIRENSET_TESTS)
    find_package(GTest REQUIRED)
      list(APPEND kinds testcore testgui)
  endif()
  foreach(kind IN LISTS kinds)
    set(donor sirenset_pch_${kind})
    file(WRITE ${CMAKE_BINARY_DIR}/pch/${kind}.cpp "// Compiles the precompiled header of its kind.\n")
    add_library(${donor} STATIC ${CMAKE_BINARY_DIR}/pch/${kind}.cpp)
    set_target_properties(${donor} PROPERTIES AUTOMOC OFF)
  endforeach()
  target_link_libraries(sirenset_pch_core PRIVATE sirenset_base Qt6::Core)
  target_precompile_headers(sirenset_pch_core PRIVATE ${pch_dir}/CorePch.h)
  target_link_libraries(sirenset_pch_gui PRIVATE sirenset_base Qt6::Widgets)
  target_precompile_headers(sirenset_pch_gui PRIVATE ${pch_dir}/GuiPch.h)
  if(TARGET sirenset_pch_testcore)
    target_link_libraries(sirenset_pch_testcore PRIVATE sirenset_base Qt6::Core GTest::gtest)
    target_precompile_headers(sirenset_pch_testcore PRIVATE ${pch_dir}/TestCorePch.h)
    # Not Qt Test: it defines its build folder as a macro, which differs
    # from target to target and would make the header unusable.
    target_link_libraries(sirenset_pch_testgui PRIVATE sirenset_base Qt6::Widgets GTest::gtest)
    target_precompile_headers(sirenset_pch_testgui PRIVATE ${pch_dir}/TestGuiPch.h)
    target_compile_options(sirenset_pch_testcore PRIVATE ${SIRENSET_TEST_COMPILE_OPTIONS})
    target_compile_options(sirenset_pch_testgui PRIVATE ${SIRENSET_TEST_COMPILE_OPTIONS})
  endif()

  _sirenset_targets_below(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    if(target MATCHES "^sirenset_pch_")
      continue()
    endif()
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    _sirenset_reaches(${target} reach)
    # No Qt (the simulator, the plain serial port), or none of the
    # project's definitions (a benchmark's driver): nothing to share.
    if(NOT "core" IN_LIST reach OR NOT "base" IN_LIST reach)
      continue()
    endif()
    set(kind core)
    if("widgets" IN_LIST reach)
      set(kind gui)
    endif()
    if("gtest" IN_LIST reach)
      if(NOT TARGET sirenset_pch_testcore)
        continue()
      endif()
      set(kind test${kind})
      target_compile_options(${target} PRIVATE ${SIRENSET_TEST_COMPILE_OPTIONS})
    endif()
    target_precompile_headers(${target} REUSE_FROM sirenset_pch_${kind})
  endforeach()
endfunction()
