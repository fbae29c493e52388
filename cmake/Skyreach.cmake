# Helpers that keep each module's CMakeLists a few lines long.

# skyreach_library(<target> DIRS <folder>... [DEPS <target-or-lib>...])
# A static library made of every .cpp below the given folders.
function(skyreach_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS A_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# skyreach_tests(<module> DEPS <target>...)
# Every tests/<module>/*_test.cpp becomes its own executable <module>_<stem>,
# so a test file only needs the libraries it names and builds on its own.
function(skyreach_tests module)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(test_source IN LISTS tests)
    get_filename_component(stem ${test_source} NAME_WE)
    set(target ${module}_${stem})
    add_executable(${target} ${test_source})
    target_link_libraries(${target} PRIVATE ${A_DEPS} test_support GTest::gmock GTest::gtest_main)
    set(properties ENVIRONMENT "SKYREACH_SOURCE_DIR=${CMAKE_SOURCE_DIR};SKYREACH_BINARY_DIR=${CMAKE_BINARY_DIR}")
    # Tests that start a virtual X display (files named *x11*) run one at a time:
    # two display servers started together can pick the same display number.
    if(stem MATCHES "x11")
      list(APPEND properties RESOURCE_LOCK x11_display)
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endforeach()
endfunction()
