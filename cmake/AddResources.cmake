# add_resources(target script.rc [INCLUDE_DIRS dir...])  -- needs platform/rc (rc-compile) on Linux
# Compiles the script with rc-compile into a C++ file of tables that register themselves at start-up, and
# links that file's object into the target (as an object, so the linker keeps the registration). The
# generated file alone sees the resource registry's header; the target itself does not. On a Windows build the
# script goes to the toolchain's resource compiler instead.
function(add_resources target script)
  cmake_parse_arguments(R "" "" "INCLUDE_DIRS" ${ARGN})
  get_filename_component(script_path ${script} ABSOLUTE)
  if(WIN32)
    target_sources(${target} PRIVATE ${script_path})
    return()
  endif()
  get_filename_component(script_name ${script} NAME_WE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_${script_name}_rc.cpp)
  set(include_args -I ${PROJECT_SOURCE_DIR}/platform/include)
  foreach(dir ${R_INCLUDE_DIRS})
    list(APPEND include_args -I ${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND rc-compile ${include_args} --depfile ${output}.d -o ${output} ${script_path}
    DEPENDS rc-compile ${script_path}
    DEPFILE ${output}.d
    COMMENT "Compiling resources ${script}"
    VERBATIM)
  set(tables ${target}_${script_name}_resources)
  add_library(${tables} OBJECT ${output})
  target_link_libraries(${tables} PRIVATE platform_resources)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${tables}>)
  target_link_libraries(${target} PRIVATE $<LINK_ONLY:platform_resources>)
endfunction()
