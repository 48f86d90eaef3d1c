# On a Windows build the programs link the real system libraries instead of platform/.
add_library(win32_kernel INTERFACE)
target_link_libraries(win32_kernel INTERFACE kernel32)
add_library(win32_netapi INTERFACE)
target_link_libraries(win32_netapi INTERFACE netapi32 win32_kernel)
add_library(win32_user INTERFACE)
target_link_libraries(win32_user INTERFACE user32 gdi32 win32_kernel)
add_library(win32_advapi INTERFACE)
target_link_libraries(win32_advapi INTERFACE advapi32 win32_kernel)
