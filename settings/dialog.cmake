# The settings dialog, help and about box of Ferrow.exe. The Ferrow target is
# defined later (app/), so the link is made once the whole tree is read; the
# test programs link the same library.
add_library(ferrow_settings_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_pages_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help_about_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_place_win.cpp)
target_link_libraries(ferrow_settings_ui PUBLIC ferrow_core comctl32 comdlg32 shell32 ole32)
ferrow_warnings(ferrow_settings_ui)

function(ferrow_link_settings_ui)
  if(TARGET Ferrow)
    target_link_libraries(Ferrow PRIVATE ferrow_settings_ui)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL ferrow_link_settings_ui)
