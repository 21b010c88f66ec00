# The settings dialog, help and about box, driven under Wine from a second
# thread of a small test program that carries the same dialog templates.
if(WIN32)
  add_executable(settings_dialog_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_ui_tests.rc)
  target_link_libraries(settings_dialog_ui_tests PRIVATE ferrow_settings_ui ferrow_test_support
    ferrow_platform ferrow_core ${FERROW_GTEST})
  ferrow_warnings(settings_dialog_ui_tests)
  add_test(NAME settings_dialog_ui_tests COMMAND settings_dialog_ui_tests)
  set_tests_properties(settings_dialog_ui_tests PROPERTIES TIMEOUT 300 LABELS ui RUN_SERIAL ON)
endif()
