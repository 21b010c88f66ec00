# The viewer and the window layout, driven from outside under Wine: the
# main window's UI driver starts Ferrow.exe, a wrapper makes the pictures.
if(WIN32)
  add_executable(viewer_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/viewer_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/viewer_wic_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layout_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pixels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../ui/ferrow_app.cpp)
  target_link_libraries(viewer_ui_tests PRIVATE ${FERROW_GTEST} comctl32 gdi32)
  target_include_directories(viewer_ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(viewer_ui_tests)
  add_dependencies(viewer_ui_tests Ferrow)
  if(TARGET jpeg_spi)
    add_dependencies(viewer_ui_tests jpeg_spi)
  endif()
  if(TARGET wic_spi)
    add_dependencies(viewer_ui_tests wic_spi)
  endif()
  add_test(NAME viewer_ui_tests
           COMMAND bash ${CMAKE_SOURCE_DIR}/tools/viewer-ui-tests.sh
                   ${CMAKE_SOURCE_DIR}/tools/wine-run.sh $<TARGET_FILE:viewer_ui_tests>
                   $<TARGET_FILE:Ferrow>)
  set_tests_properties(viewer_ui_tests PROPERTIES TIMEOUT 600 LABELS ui RUN_SERIAL TRUE)
endif()
