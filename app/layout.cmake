# Window layout persistence: the section's rules in the portable core, the
# part that reads and moves the windows in the program.
target_sources(ferrow_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/layout_rules.cpp)
if(TARGET Ferrow)
  target_sources(Ferrow PRIVATE ${CMAKE_CURRENT_LIST_DIR}/layout_win.cpp)
endif()
