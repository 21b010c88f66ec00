# The image plug-in host of Ferrow.exe (Windows only).
if(WIN32)
  add_library(ferrow_viewer_host STATIC ${CMAKE_CURRENT_LIST_DIR}/plugin_host_win.cpp)
  target_include_directories(ferrow_viewer_host PUBLIC ${CMAKE_SOURCE_DIR})
  ferrow_warnings(ferrow_viewer_host)
endif()
