# Browser integration under Wine: Ferrow.dll as a COM server, the menu
# entry's registration, the DDE request to a browser, and the scripted runs
# with Wine's own regsvr32 and cscript.
if(WIN32)
  set(browser_tests ${CMAKE_CURRENT_LIST_DIR})

  # Stands in for Ferrow.exe where only its start and command line matter.
  add_executable(command_line_recorder WIN32 ${browser_tests}/command_line_recorder.cpp)
  ferrow_warnings(command_line_recorder)

  add_executable(browser_launcher_tests
    ${browser_tests}/launcher_test.cpp ${browser_tests}/registry_support.cpp
    ${browser_tests}/started_program.cpp ${CMAKE_SOURCE_DIR}/tests/support/temp_folder.cpp
    ${CMAKE_BINARY_DIR}/launcher/ferrow_api_i.c)
  target_include_directories(browser_launcher_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/launcher)
  target_link_libraries(browser_launcher_tests PRIVATE gtest ole32 oleaut32 uuid advapi32)
  add_dependencies(browser_launcher_tests ferrow_launcher command_line_recorder)
  ferrow_warnings(browser_launcher_tests)
  add_test(NAME browser_launcher_tests COMMAND browser_launcher_tests)
  set_tests_properties(browser_launcher_tests PROPERTIES TIMEOUT 180 LABELS browser)
endif()

if(WIN32)
  # A browser that answers "WWW_GetWindowInfo" over DDE, in its own process.
  add_executable(dde_browser_stub ${browser_tests}/dde_browser_stub.cpp)
  ferrow_warnings(dde_browser_stub)

  add_executable(browser_settings_tests
    ${browser_tests}/dde_test.cpp ${browser_tests}/menu_test.cpp ${browser_tests}/dde_stub_runner.cpp
    ${browser_tests}/registry_support.cpp ${browser_tests}/extension_host_test.cpp
    ${CMAKE_SOURCE_DIR}/settings/browser_dde_win.cpp ${CMAKE_SOURCE_DIR}/settings/browser_menu_win.cpp
    ${CMAKE_SOURCE_DIR}/settings/extension_host_win.cpp)
  target_include_directories(browser_settings_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(browser_settings_tests PRIVATE ferrow_test_support ferrow_platform ferrow_core ${FERROW_GTEST})
  add_dependencies(browser_settings_tests ferrow_launcher dde_browser_stub)
  ferrow_warnings(browser_settings_tests)
  add_test(NAME browser_settings_tests COMMAND browser_settings_tests)
  set_tests_properties(browser_settings_tests PROPERTIES TIMEOUT 180 LABELS browser)
endif()

if(WIN32)
  # Looks at a running Ferrow.exe from outside: window, URL box, log.
  add_executable(ferrow_probe ${browser_tests}/ferrow_probe.cpp)
  ferrow_warnings(ferrow_probe)

  # Scripted runs with Wine's own regsvr32 and cscript, and against the
  # real Ferrow.exe. They run Wine themselves, so no emulator in between.
  foreach(script regsvr32 cscript program)
    add_test(NAME browser_${script}_script COMMAND bash ${browser_tests}/${script}_test.sh ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(browser_${script}_script PROPERTIES TIMEOUT 300 LABELS browser)
  endforeach()
endif()
