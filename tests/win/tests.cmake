# Windows-only checks of the core against the platform itself.
if(WIN32)
  add_executable(ini_platform_tests ${CMAKE_CURRENT_LIST_DIR}/ini_platform_test.cpp)
  target_link_libraries(ini_platform_tests PRIVATE ferrow_test_support ferrow_platform ferrow_core ${FERROW_GTEST})
  ferrow_warnings(ini_platform_tests)
  add_test(NAME ini_platform_tests COMMAND ini_platform_tests)
  set_tests_properties(ini_platform_tests PROPERTIES TIMEOUT 120)
endif()

# Version blocks and the program's manifest as Windows reads them.
if(WIN32)
  add_executable(release_resources_tests ${CMAKE_CURRENT_LIST_DIR}/release_resources_test.cpp)
  target_link_libraries(release_resources_tests PRIVATE ${FERROW_GTEST} version)
  target_include_directories(release_resources_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(release_resources_tests)
  add_dependencies(release_resources_tests Ferrow ferrow_launcher jpeg_spi)
  add_test(NAME release_resources_tests COMMAND release_resources_tests)
  set_tests_properties(release_resources_tests PROPERTIES TIMEOUT 60)
endif()

# FerrowHost.exe fed framed messages on standard input, handing snapshots to
# Ferrow.exe.
if(WIN32)
  add_test(NAME host_tests COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/host_test.sh ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(host_tests PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
endif()

# The extension in headless Chromium hands a page to the real FerrowHost.exe.
if(WIN32)
  add_test(NAME extension_tests COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/extension_test.sh ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(extension_tests PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()
