# The compiled manual, decompiled with extract_chmLib (Debian libchm-bin).
if(WIN32)
  add_test(NAME manual_tests
           COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/manual_test.py ${CMAKE_BINARY_DIR}/bin/Ferrow.chm
                   ${CMAKE_SOURCE_DIR})
  set_tests_properties(manual_tests PROPERTIES TIMEOUT 60 LABELS help)
endif()
