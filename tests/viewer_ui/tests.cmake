# The viewer and the window layout, driven from outside under Wine: the
# main window's UI driver starts Ferrow.exe, a wrapper makes the pictures.
if(WIN32)
  # A plug-in that blocks in its decode until the test releases it; in a
  # folder of its own, so that no program finds it by chance.
  add_library(blocking_spi MODULE ${CMAKE_CURRENT_LIST_DIR}/blocking_plugin_win.cpp)
  target_include_directories(blocking_spi PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(blocking_spi PROPERTIES PREFIX "" OUTPUT_NAME blocking SUFFIX ".spi"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/viewer-test-plugins)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(blocking_spi PRIVATE -Wl,--kill-at)
  endif()
  ferrow_warnings(blocking_spi)

  add_executable(viewer_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/viewer_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/viewer_wic_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layout_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/viewer_depths_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pixels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../ui/ferrow_app.cpp)
  target_link_libraries(viewer_ui_tests PRIVATE ${FERROW_GTEST} comctl32 gdi32)
  target_include_directories(viewer_ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(viewer_ui_tests)
  add_dependencies(viewer_ui_tests Ferrow blocking_spi)
  if(TARGET jpeg_spi)
    add_dependencies(viewer_ui_tests jpeg_spi)
  endif()
  if(TARGET wic_spi)
    add_dependencies(viewer_ui_tests wic_spi)
  endif()
  add_test(NAME viewer_ui_tests
           COMMAND bash ${CMAKE_SOURCE_DIR}/tools/viewer-ui-tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:viewer_ui_tests>
                   $<TARGET_FILE:Ferrow>)
  set_tests_properties(viewer_ui_tests PROPERTIES TIMEOUT 600 LABELS ui RUN_SERIAL TRUE
    ENVIRONMENT "FERROW_BLOCKING_SPI=$<TARGET_FILE:blocking_spi>")
  # The stand-in plug-in that returns bitmaps of every depth.
  add_dependencies(viewer_ui_tests fake_depths)
  set_property(TEST viewer_ui_tests APPEND PROPERTY ENVIRONMENT
               "FERROW_TEST_PLUGINS=Z:${CMAKE_BINARY_DIR}/jpeg-test-plugins")
endif()
