# The Win32 functions that the platform's headers declare: every declaration whose name follows a calling
# convention macro (WINAPI, WINAPIV, APIENTRY, CALLBACK). Function pointer types and members (`(WINAPI *Name)`)
# are not functions and are left out; comments and preprocessor lines are ignored; a declaration may span
# several lines.
#
# Run as a script, it writes a C++ source that takes the address of every such function:
#   cmake -DOUTPUT=<file.cpp> -DHEADERS=<h1;h2;...> -P DeclaredApi.cmake
# or checks itself against a header whose first line says which functions it declares ("// declares: A B C"):
#   cmake -DFIXTURE=<file.h> -P DeclaredApi.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

function(declared_api_functions out_var)
  set(names "")
  foreach(header ${ARGN})
    file(READ "${header}" text)
    # Block comments go first (CMake's regular expressions have no lazy match), then line comments,
    # continued preprocessor lines and preprocessor lines.
    string(FIND "${text}" "/*" open)
    while(NOT open EQUAL -1)
      string(SUBSTRING "${text}" 0 ${open} before)
      string(SUBSTRING "${text}" ${open} -1 rest)
      string(FIND "${rest}" "*/" close)
      if(close EQUAL -1)
        message(FATAL_ERROR "${header}: unterminated comment")
      endif()
      math(EXPR after "${close} + 2")
      string(SUBSTRING "${rest}" ${after} -1 rest)
      set(text "${before} ${rest}")
      string(FIND "${text}" "/*" open)
    endwhile()
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    string(REGEX REPLACE "\\\\\n" " " text "${text}")
    string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "\\1" text "${text}")
    # Square brackets and semicolons mean something to CMake lists; neither matters to a name.
    string(REGEX REPLACE "[][;\t\r\n ]+" " " text " ${text}")
    string(REGEX MATCHALL "[^A-Za-z0-9_](WINAPIV|WINAPI|APIENTRY|CALLBACK) [A-Za-z_][A-Za-z0-9_]* ?\\(" found
                          "${text}")
    foreach(match ${found})
      string(REGEX REPLACE "^.(WINAPIV|WINAPI|APIENTRY|CALLBACK) ([A-Za-z0-9_]+).*" "\\2" name "${match}")
      list(APPEND names ${name})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

if(DEFINED FIXTURE)
  file(STRINGS "${FIXTURE}" first LIMIT_COUNT 1)
  string(REGEX REPLACE "^// declares: *" "" expected "${first}")
  separate_arguments(expected)
  list(SORT expected)
  declared_api_functions(found "${FIXTURE}")
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "extracted '${found}', expected '${expected}'")
  endif()
  list(LENGTH found count)
  message(STATUS "${count} declared functions found as expected")
  return()
endif()

declared_api_functions(names ${HEADERS})
if(NOT names)
  message(FATAL_ERROR "no declared functions in ${HEADERS}")
endif()
set(includes "#include <windows.h>\n")
foreach(header ${HEADERS})
  get_filename_component(file "${header}" NAME)
  if(file STREQUAL "windows.h")
    continue()
  endif()
  string(APPEND includes "#include <${file}>\n")
endforeach()
set(entries "")
foreach(name ${names})
  string(APPEND entries "    reinterpret_cast<const void *>(&${name}),\n")
endforeach()
set(source "// Generated from the platform's headers by cmake/DeclaredApi.cmake; every edit is lost.
${includes}
#include <cstdio>
#include <iterator>

// External linkage keeps the table, and with it a reference to every function, in the executable.
extern const void *const declared_api[];
const void *const declared_api[] = {
${entries}};

int main() {
    std::size_t linked = 0;
    for (const void *const volatile &function : declared_api)
        linked += function != nullptr;
    std::printf(\"%zu declared functions linked\\n\", linked);
    return linked == std::size(declared_api) ? 0 : 1;
}
")
# Rewriting an unchanged file would relink the check on every build.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL source)
  file(WRITE "${OUTPUT}" "${source}")
endif()
