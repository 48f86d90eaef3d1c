# program_usage(<target> <text file>): gives the program its --help text, answered by platform/winmain before
# the program runs. The Windows build leaves the command line to the program.
function(program_usage target usage_file)
  if(WIN32_HOST)
    return()
  endif()
  get_filename_component(USAGE_FILE ${usage_file} ABSOLUTE)
  file(READ ${USAGE_FILE} USAGE_TEXT)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${USAGE_FILE})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_usage.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/platform/winmain/program_usage.cpp.in ${generated} @ONLY)
  target_sources(${target} PRIVATE ${generated})
  # Only the library: the program itself sees no platform header.
  target_link_libraries(${target} PRIVATE $<LINK_ONLY:platform_program_help>)
endfunction()
