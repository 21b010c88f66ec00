# Browser integration of Ferrow.exe: registration of Ferrow.dll, the
# browser's context-menu entry, and the address of a running browser's page.
# The program target is made later (app/), so the sources join it once the
# whole tree has been read.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL target_sources Ferrow PRIVATE
  ${CMAKE_SOURCE_DIR}/settings/browser_menu_win.cpp
  ${CMAKE_SOURCE_DIR}/settings/browser_dde_win.cpp
  ${CMAKE_SOURCE_DIR}/settings/extension_host_win.cpp)
