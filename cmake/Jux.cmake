# Helpers shared by every folder's CMakeLists.txt.

# jux_add_library(name SOURCES ... [LIBS ...]): a static library whose headers
# are included by folder ("juxutil/juxutil.h").
function(jux_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# jux_add_program(name SOURCES ... [LIBS ...]): an executable placed in
# <build>/bin, where tests and scripts find every program of the station.
function(jux_add_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_LIBS)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()

# jux_add_gtest(name SOURCES ... [LIBS ...] [DEPENDS programs...] [LABEL label]
#               [RESOURCE_LOCK ...] [PROPERTIES prop value ...]): a GoogleTest program
# registered with CTest; PROPERTIES are set on each of its tests as well.
# JUX_BIN_DIR tells the test where the built programs are; DEPENDS makes sure
# they are built first. LABEL sorts the tests for `ctest -L`: `unit` (the
# default: the code in process, fakes for the seams), `e2e` (the station's
# programs run as processes, against juxsim where a card is needed), `window`
# (windows shown, offscreen or on a display; a program's one label is its
# main concern). RESOURCE_LOCK names what the
# test shares with others outside its own temporary folders (ctest then never
# runs two of them at once). Every test runs with JUX_DEVICE_DIR naming a
# folder without devices, so that a card that a person runs by hand in the
# default device folder is never reached; tests that want a card start their own.
function(jux_add_gtest name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS;DEPENDS;RESOURCE_LOCK;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    JUX_BIN_DIR="${PROJECT_BINARY_DIR}/bin"
    JUX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  if(NOT ARG_LABEL MATCHES "^(unit|e2e|window)$")
    message(FATAL_ERROR "${name}: label ${ARG_LABEL} is not one of unit, e2e, window")
  endif()
  set(properties TIMEOUT 300 LABELS ${ARG_LABEL}
      ENVIRONMENT "JUX_DEVICE_DIR=${PROJECT_BINARY_DIR}/no-card")
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties} ${ARG_PROPERTIES})
endfunction()

# jux_add_subfolders(): adds every subfolder of the current folder, in name
# order (tools/, tests/ and bench/ grow by folder). A subfolder without a
# CMakeLists.txt stops the configuration instead of being left out unseen.
function(jux_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
  list(SORT dirs)
  foreach(dir ${dirs})
    if(NOT IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
      continue()
    endif()
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir} has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()
