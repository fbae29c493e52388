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
  skyreach_module(${name} DIRS ${A_DIRS})
endfunction()

# skyreach_module(<target> [DIRS <folder>...])
# Records a library or program of ours and the folders whose files it owns, for the
# module-boundary check. skyreach_library does this itself; interface libraries and
# executables call it directly.
function(skyreach_module name)
  cmake_parse_arguments(A "" "" "DIRS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY SKYREACH_MODULES ${name})
  set_property(GLOBAL PROPERTY SKYREACH_MODULE_DIRS_${name} ${A_DIRS})
endfunction()

# skyreach_module_boundaries()
# Called once all modules are defined. Writes build/module_map.json: each module's folders,
# the modules it links (read from the targets themselves) and the modules its row of the
# layer table (cmake/Layers.cmake) lets it link. Adds the ctest that checks the links
# against the table, the module graph for cycles, and every #include of every module
# against the module's links.
function(skyreach_module_boundaries)
  get_property(modules GLOBAL PROPERTY SKYREACH_MODULES)
  get_property(rows GLOBAL PROPERTY SKYREACH_LAYER_ROWS)
  foreach(row IN LISTS rows)
    if(NOT row IN_LIST modules)
      message(FATAL_ERROR "cmake/Layers.cmake has a row for ${row}, which is no module")
    endif()
  endforeach()
  set(entries)
  foreach(module IN LISTS modules)
    get_property(dirs GLOBAL PROPERTY SKYREACH_MODULE_DIRS_${module})
    get_target_property(type ${module} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${module} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${module} LINK_LIBRARIES)
    endif()
    set(ours)
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link IN_LIST modules)
        list(APPEND ours "\"${link}\"")
      endif()
    endforeach()
    list(TRANSFORM dirs PREPEND "\"")
    list(TRANSFORM dirs APPEND "\"")
    list(JOIN dirs ", " dirs)
    list(JOIN ours ", " ours)
    set(row "")
    if(module IN_LIST rows)
      get_property(may_link GLOBAL PROPERTY SKYREACH_MAY_LINK_${module})
      list(TRANSFORM may_link PREPEND "\"")
      list(TRANSFORM may_link APPEND "\"")
      list(JOIN may_link ", " may_link)
      set(row ", \"may_link\": [${may_link}]")
    endif()
    list(APPEND entries "  {\"module\": \"${module}\", \"dirs\": [${dirs}], \"links\": [${ours}]${row}}")
  endforeach()
  list(JOIN entries ",\n" entries)
  file(WRITE ${CMAKE_BINARY_DIR}/module_map.json "[\n${entries}\n]\n")

  add_test(NAME module_boundaries
           COMMAND ${SKYREACH_TEST_LAUNCHER} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check_module_boundaries.py
                   ${CMAKE_BINARY_DIR}/module_map.json ${CMAKE_SOURCE_DIR})
endfunction()

# Every test runs through this launcher, which gives it a home and XDG folders of its own
# under the run's temporary folder and removes them afterwards, so no test reads or writes
# the user's settings, logs or caches. Commands that are not a test target of ours get it
# as their first word (`COMMAND ${SKYREACH_TEST_LAUNCHER} ...`).
set(SKYREACH_TEST_LAUNCHER ${CMAKE_SOURCE_DIR}/tests/support/run_in_own_home)

# skyreach_test_launcher(<target>)
# Starts every test of the executable <target> (those gtest_discover_tests finds included,
# and its discovery) through the launcher: TEST_LAUNCHER from CMake 3.29 on; before, the
# emulator property, which add_test and gtest_discover_tests put in front of the command.
function(skyreach_test_launcher target)
  if(CMAKE_VERSION VERSION_GREATER_EQUAL 3.29)
    set_target_properties(${target} PROPERTIES TEST_LAUNCHER ${SKYREACH_TEST_LAUNCHER})
  else()
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${SKYREACH_TEST_LAUNCHER})
  endif()
endfunction()

# skyreach_tests(<module> DEPS <target>...)
# Every tests/<module>/*_test.cpp becomes its own executable <module>_<stem>,
# so a test file only needs the libraries it names and builds on its own. Their main is
# test_support's (tests/support/TestMain.cpp), which runs each in a home of its own even when
# it is started by hand, without the launcher.
function(skyreach_tests module)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(test_source IN LISTS tests)
    get_filename_component(stem ${test_source} NAME_WE)
    set(target ${module}_${stem})
    add_executable(${target} ${test_source})
    target_link_libraries(${target} PRIVATE ${A_DEPS} test_support GTest::gmock)
    skyreach_test_launcher(${target})
    # Each test is labelled with its module, so a run can pick modules (`ctest -L`).
    set(properties LABELS ${module}
                   ENVIRONMENT "SKYREACH_SOURCE_DIR=${CMAKE_SOURCE_DIR};SKYREACH_BINARY_DIR=${CMAKE_BINARY_DIR}")
    # Tests that start a virtual X display (files named *x11*) run one at a time:
    # two display servers started together can pick the same display number.
    if(stem MATCHES "x11")
      list(APPEND properties RESOURCE_LOCK x11_display)
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endforeach()
endfunction()
