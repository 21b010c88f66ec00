# Main window tests: its pure logic natively and for Windows, and the UI
# driver that runs Ferrow.exe under Wine and works its windows from outside.
add_executable(app_logic_tests ui/app_logic_test.cpp ui/drop_text_test.cpp ui/log_batch_test.cpp)
target_link_libraries(app_logic_tests PRIVATE ferrow_test_support ferrow_app_logic ferrow_platform
                      ferrow_core ${FERROW_GTEST})
ferrow_warnings(app_logic_tests)
add_test(NAME app_logic_tests COMMAND app_logic_tests)
set_tests_properties(app_logic_tests PROPERTIES TIMEOUT 60 LABELS core)

if(WIN32)
  # Refuses one window of Ferrow.exe's start-up; kept in a folder of its own.
  add_library(refuse_window_hook MODULE ui/refuse_window_hook_win.cpp)
  set_target_properties(refuse_window_hook PROPERTIES PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/ui-test-hooks)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(refuse_window_hook PRIVATE -Wl,--kill-at)
  endif()
  ferrow_warnings(refuse_window_hook)

  add_executable(ui_tests ui/ferrow_app.cpp ui/main_window_test.cpp ui/commands_test.cpp
                          ui/startup_failure_test.cpp ui/page_charset_test.cpp)
  target_link_libraries(ui_tests PRIVATE ${FERROW_GTEST} comctl32 psapi)
  target_include_directories(ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(ui_tests)
  add_dependencies(ui_tests Ferrow refuse_window_hook)
  add_test(NAME ui_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/ui/run_ui_tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ui_tests>
                   $<TARGET_FILE:Ferrow>)
  set_tests_properties(ui_tests PROPERTIES TIMEOUT 300 LABELS ui RUN_SERIAL TRUE
    ENVIRONMENT "FERROW_REFUSE_HOOK=$<TARGET_FILE:refuse_window_hook>")
endif()

# The main window's drop target, in-process under Wine.
if(WIN32)
  add_executable(drop_target_tests ui/drop_target_test.cpp ${CMAKE_SOURCE_DIR}/app/drop_target_win.cpp)
  target_link_libraries(drop_target_tests PRIVATE ferrow_test_support ferrow_app_logic ferrow_platform
                        ferrow_core ${FERROW_GTEST} ole32 uuid shell32)
  ferrow_warnings(drop_target_tests)
  add_test(NAME drop_target_tests COMMAND drop_target_tests)
  set_tests_properties(drop_target_tests PROPERTIES TIMEOUT 120 LABELS ui)
endif()

if(WIN32)
  # HTTPS through the program: TLS servers with a test authority that the
  # launcher adds to the trusted roots of the run's Wine prefix (trust_root).
  add_executable(trust_root ui/trust_root_win.cpp)
  target_link_libraries(trust_root PRIVATE crypt32)
  ferrow_warnings(trust_root)
  add_executable(https_ui_tests ui/ferrow_app.cpp ui/https_test.cpp)
  target_link_libraries(https_ui_tests PRIVATE ${FERROW_GTEST} comctl32)
  target_include_directories(https_ui_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(https_ui_tests)
  add_dependencies(https_ui_tests Ferrow trust_root)
  add_test(NAME https_ui_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/ui/run_https_tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:https_ui_tests>
                   $<TARGET_FILE:Ferrow> $<TARGET_FILE:trust_root>)
  set_tests_properties(https_ui_tests PROPERTIES TIMEOUT 300 LABELS ui RUN_SERIAL TRUE)
endif()
