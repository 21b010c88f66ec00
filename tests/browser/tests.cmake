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
