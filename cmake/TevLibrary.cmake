# tev_library(NAME DEPS...): a static library made of every .cpp in the calling folder.
# A folder with no sources yet becomes an interface library so that dependants still link.
function(tev_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# tev_test(NAME LABEL label DEPS...): one GoogleTest executable made of every .cpp in the calling
# folder, registered with CTest under the label and run with the offscreen Qt platform.
# The labels say what a test needs, so that `ctest -L unit` is a quick loop:
#   unit      in-process and fast: the core, the rules, the window offscreen
#   process   starts the real program, hoq-sim or another helper program
#   broker    needs a real mosquitto
#   postgres  needs initdb and pg_ctl
#   browser   chromium and selenium
#   package   the .deb, lintian, the unit file, the setup scripts
function(tev_test name)
  cmake_parse_arguments(PARSE_ARGV 1 _tev "" "LABEL" "")
  if(NOT _tev_LABEL)
    message(FATAL_ERROR "tev_test(${name}): LABEL unit|process|broker|postgres|browser|package")
  endif()
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE tev_test_support GTest::gtest GTest::gtest_main
                                        ${_tev_UNPARSED_ARGUMENTS})
  gtest_discover_tests(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                       LABELS ${_tev_LABEL} DISCOVERY_TIMEOUT 60)
endfunction()
