# The checks of the test command, checked on files made to fail them.
if(NOT WIN32)
  add_test(NAME check_bans_script
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_bans_test.sh ${CMAKE_SOURCE_DIR}/tools/check-bans.sh)
endif()
