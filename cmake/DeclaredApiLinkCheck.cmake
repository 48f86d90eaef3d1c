# Every function that platform/include declares must be implemented by a platform library: the check
# `declared_api_link_check` takes the address of each one and links against every library that implements
# the API, so one missing function is an undefined reference, and the link error fails the build. The
# script lives here and not beside the headers because platform/include is what programs see, and holds
# headers only.
include(${CMAKE_CURRENT_LIST_DIR}/DeclaredApi.cmake)

file(GLOB declared_api_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/include/*.h)
set(declared_api_source ${CMAKE_CURRENT_BINARY_DIR}/declared_api_link_check.cpp)
add_custom_command(
  OUTPUT ${declared_api_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${declared_api_source} "-DHEADERS=${declared_api_headers}" -P
          ${CMAKE_CURRENT_LIST_DIR}/DeclaredApi.cmake
  DEPENDS ${declared_api_headers} ${CMAKE_CURRENT_LIST_DIR}/DeclaredApi.cmake
  COMMENT "Listing the functions that platform/include declares"
  VERBATIM)

add_executable(declared_api_link_check ${declared_api_source})
target_link_libraries(declared_api_link_check PRIVATE platform_kernel32 platform_user32 platform_gdi32
                                                      platform_netapi32 platform_advapi32)
project_warnings(declared_api_link_check)

if(BUILD_TESTING)
  add_test(NAME declared_api_link_check COMMAND declared_api_link_check)  # says how many functions it linked
  # The extractor's edge cases: multi-line declarations, function pointer types and parameters, comments, macros.
  add_test(NAME declared_api_extractor
           COMMAND ${CMAKE_COMMAND} -DFIXTURE=${CMAKE_CURRENT_LIST_DIR}/tests/declared_api_fixture.h -P
                   ${CMAKE_CURRENT_LIST_DIR}/DeclaredApi.cmake)
endif()
