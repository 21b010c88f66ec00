# The image plug-in host of Ferrow.exe (Windows only).
if(WIN32)
  add_library(ferrow_viewer_host STATIC ${CMAKE_CURRENT_LIST_DIR}/plugin_host_win.cpp)
  target_include_directories(ferrow_viewer_host PUBLIC ${CMAKE_SOURCE_DIR})
  # The bitmap rule (dib_layout.cpp) lives in the portable core.
  target_link_libraries(ferrow_viewer_host PUBLIC ferrow_core)
  ferrow_warnings(ferrow_viewer_host)
endif()
