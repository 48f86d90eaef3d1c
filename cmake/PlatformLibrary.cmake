# The layering of platform/, enforced by include paths.
#
# A platform component keeps its headers private. It lists the few that other platform components may
# include (PUBLIC_HEADERS) and the few that tests may include through platform_testing (TEST_HEADERS).
# Each list is published as links in a folder of the build tree, under the component's folder name, so
# that "kernel32/handle_table.h" resolves only where kernel32 published handle_table.h, and a sibling that
# a published header includes must be published too.
#
# Programs never see any of it: they link the win32_* targets, which carry the Win32 headers of
# platform/include and the libraries, but no include path of a component.

set(PLATFORM_ROOT ${PROJECT_SOURCE_DIR}/platform)
set(PLATFORM_PUBLIC_ROOT ${CMAKE_BINARY_DIR}/platform-headers/public)
set(PLATFORM_TEST_ROOT ${CMAKE_BINARY_DIR}/platform-headers/testing)

function(publish_headers root)
  file(RELATIVE_PATH folder ${PLATFORM_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(header ${ARGN})
    set(link ${root}/${folder}/${header})
    get_filename_component(link_dir ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${link_dir})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
  endforeach()
endfunction()

# platform_library(<target> SOURCES ... [PUBLIC_HEADERS ...] [TEST_HEADERS ...] [LINKS ...] [PRIVATE_LINKS ...])
# A static library of one platform component. LINKS are other platform components (or system libraries)
# whose published headers this one's published headers use; PRIVATE_LINKS are used by its sources only.
function(platform_library target)
  cmake_parse_arguments(P "" "" "SOURCES;PUBLIC_HEADERS;TEST_HEADERS;LINKS;PRIVATE_LINKS" ${ARGN})
  add_library(${target} STATIC ${P_SOURCES})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  if(P_PUBLIC_HEADERS)
    publish_headers(${PLATFORM_PUBLIC_ROOT}/${target} ${P_PUBLIC_HEADERS})
    target_include_directories(${target} PUBLIC ${PLATFORM_PUBLIC_ROOT}/${target})
  endif()
  if(P_TEST_HEADERS)
    publish_headers(${PLATFORM_TEST_ROOT} ${P_TEST_HEADERS})
  endif()
  target_link_libraries(${target} PUBLIC win32_headers ${P_LINKS} PRIVATE ${P_PRIVATE_LINKS})
  project_warnings(${target})
endfunction()

# win32_library(<name> <platform target>...): what a program links for one Win32 DLL: the platform's code,
# without any of its include paths.
function(win32_library name)
  add_library(${name} INTERFACE)
  foreach(library ${ARGN})
    target_link_libraries(${name} INTERFACE win32_headers $<LINK_ONLY:${library}>)
  endforeach()
endfunction()

# platform_component_test(<name> SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK ...])
# A test of one component's internals: it sees the component's folder (the one above tests/) besides
# what its libraries publish.
function(platform_component_test name)
  add_project_test(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/..)
endfunction()
