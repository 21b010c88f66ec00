# Windows-only checks of the core against the platform itself.
if(WIN32)
  add_executable(ini_platform_tests ${CMAKE_CURRENT_LIST_DIR}/ini_platform_test.cpp)
  target_link_libraries(ini_platform_tests PRIVATE ferrow_test_support ferrow_platform ferrow_core ${FERROW_GTEST})
  ferrow_warnings(ini_platform_tests)
  add_test(NAME ini_platform_tests COMMAND ini_platform_tests)
  set_tests_properties(ini_platform_tests PROPERTIES TIMEOUT 120)
endif()
