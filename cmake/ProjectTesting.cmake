# GoogleTest: Debian's prebuilt library on Linux; for a Windows build, compiled from the sources that
# Debian's googletest package ships, so the conformance tests run against real Windows too.
if(WIN32)
  set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Recent GoogleTest sources name their targets GTest::* themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# The conformance tests' shared helpers (conformance.h): Win32, the standard library and GoogleTest only, so
# every conformance test builds for Linux and for Windows alike.
add_library(conformance_support INTERFACE)
target_include_directories(conformance_support INTERFACE ${PROJECT_SOURCE_DIR}/platform/testing/conformance)
target_link_libraries(conformance_support INTERFACE GTest::gtest)
if(NOT WIN32)
  # On Linux the platform also reports when a thread has blocked in a wait.
  target_link_libraries(conformance_support INTERFACE platform_testing)
endif()

# add_project_test(name SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK ...] [ENVIRONMENT VAR=value ...])
# One GoogleTest executable registered with CTest. Tests labelled "threads" also run under TSan in CI;
# tests that share a RESOURCE_LOCK name never run at the same time.
function(add_project_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  project_warnings(${name})
  if(WIN32)
    return()
  endif()
  set(properties TIMEOUT 300)
  # One label and one lock each: gtest_discover_tests cannot pass a list as a property value.
  if(T_LABELS)
    list(APPEND properties LABELS ${T_LABELS})
  endif()
  if(T_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
