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

# jux_add_gtest(name SOURCES ... [LIBS ...] [DEPENDS programs...]
#               [PROPERTIES prop value ...]): a GoogleTest program registered
# with CTest. JUX_BIN_DIR tells the test where the built programs are; DEPENDS
# makes sure they are built first; PROPERTIES are set on each of its tests
# (LABELS, RESOURCE_LOCK, TIMEOUT, ...).
function(jux_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    JUX_BIN_DIR="${PROJECT_BINARY_DIR}/bin"
    JUX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# jux_add_subfolders(): adds every subfolder of the current folder that has a
# CMakeLists.txt, in name order (tools/, tests/ and bench/ grow by folder).
function(jux_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
  list(SORT dirs)
  foreach(dir ${dirs})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
