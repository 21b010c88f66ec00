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

if(WIN32)
  add_executable(about_help_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/about_help_ui_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_ui_tests.rc)
  target_link_libraries(about_help_ui_tests PRIVATE ferrow_settings_ui ferrow_test_support
    ferrow_platform ferrow_core ${FERROW_GTEST})
  ferrow_warnings(about_help_ui_tests)
  add_test(NAME about_help_ui_tests COMMAND about_help_ui_tests
           --gtest_filter=-Help.WithoutViewerDoesNothing)
  # The same program once more with the HTML Help library switched off.
  add_test(NAME help_without_viewer_ui_tests COMMAND about_help_ui_tests --gtest_filter=Help.*)
  set_tests_properties(help_without_viewer_ui_tests PROPERTIES
    ENVIRONMENT "WINEDLLOVERRIDES=mscoree,mshtml,hhctrl.ocx=")
  set_tests_properties(about_help_ui_tests help_without_viewer_ui_tests PROPERTIES
    TIMEOUT 300 LABELS ui RUN_SERIAL ON)
endif()

# Poses the dialog for tools/settings-screenshots.sh; not a test.
if(WIN32)
  add_executable(settings_pose ${CMAKE_CURRENT_LIST_DIR}/settings_pose.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_driver.cpp ${CMAKE_CURRENT_LIST_DIR}/settings_ui_tests.rc)
  target_link_libraries(settings_pose PRIVATE ferrow_settings_ui ferrow_test_support ferrow_core)
  ferrow_warnings(settings_pose)
endif()

# The same dialogs opened through a running Ferrow.exe with its own commands,
# driven from outside with the main window's UI test driver.
if(WIN32)
  add_executable(settings_through_app_tests
    ${CMAKE_CURRENT_LIST_DIR}/settings_through_app_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/help_viewer_override.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/ferrow_app.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/fixture_ask_win.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/temp_folder.cpp)
  target_link_libraries(settings_through_app_tests PRIVATE ${FERROW_GTEST} comctl32 psapi advapi32 ws2_32)
  target_include_directories(settings_through_app_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(settings_through_app_tests)
  add_dependencies(settings_through_app_tests Ferrow help_viewer_stub)
  add_test(NAME settings_through_app_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_app_settings_tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:settings_through_app_tests>
                   $<TARGET_FILE:Ferrow> --gtest_filter=-HelpThroughApp.*)
  # Help once more, with the HTML Help library switched off.
  add_test(NAME help_through_app_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_app_settings_tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:settings_through_app_tests>
                   $<TARGET_FILE:Ferrow> --gtest_filter=HelpThroughApp.*)
  set_tests_properties(help_through_app_tests PROPERTIES
    ENVIRONMENT "WINEDLLOVERRIDES=mscoree,mshtml,hhctrl.ocx=")
  set_tests_properties(settings_through_app_tests help_through_app_tests PROPERTIES
    TIMEOUT 300 LABELS ui RUN_SERIAL TRUE)
endif()

# Help and the about box's link against a stand-in help viewer that records
# what it is asked; the same stand-in serves the test through Ferrow.exe.
if(WIN32)
  add_library(help_viewer_stub SHARED ${CMAKE_CURRENT_LIST_DIR}/help_viewer_stub.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/help_viewer_stub.def)
  set_target_properties(help_viewer_stub PROPERTIES PREFIX "")
  target_link_options(help_viewer_stub PRIVATE -Wl,--enable-stdcall-fixup)
  ferrow_warnings(help_viewer_stub)

  add_executable(help_request_ui_tests
    ${CMAKE_CURRENT_LIST_DIR}/help_request_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/help_viewer_override.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_ui_tests.rc)
  target_link_libraries(help_request_ui_tests PRIVATE ferrow_settings_ui ferrow_test_support
    ferrow_platform ferrow_core ${FERROW_GTEST} advapi32)
  ferrow_warnings(help_request_ui_tests)
  add_dependencies(help_request_ui_tests help_viewer_stub ferrow_manual)
  add_test(NAME help_request_ui_tests COMMAND help_request_ui_tests)
  set_tests_properties(help_request_ui_tests PROPERTIES TIMEOUT 120 LABELS ui RUN_SERIAL ON)
endif()

# The programs that carry the dialog templates find the program's manifest
# in the build folder (made from resources/ferrow.manifest.in).
if(WIN32)
  foreach(target settings_dialog_ui_tests about_help_ui_tests settings_pose help_request_ui_tests)
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/resources>)
  endforeach()
  # windres reports no included files: name the dialogs and their ids, so
  # that a changed dialog is built into the test programs too.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/settings_ui_tests.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/resources/ferrow.manifest;${CMAKE_SOURCE_DIR}/resources/settings_dialogs.rc;${CMAKE_SOURCE_DIR}/settings/settings_ids.h")
endif()
