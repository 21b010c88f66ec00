# The target ferrow_deliverables builds what a Windows package holds: the
# program, the browser extension's host, the launcher library, the manual
# and every image plug-in of the tree (any module target whose file ends in
# .spi, the stand-ins of the tests excepted). plugins.txt in the build
# folder names the plug-in files, one a line, for tools/package.sh.
function(ferrow_collect_plugins directory out)
  set(found)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(suffix ${target} SUFFIX)
    if(suffix STREQUAL ".spi")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(children DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  list(REMOVE_ITEM children ${CMAKE_SOURCE_DIR}/tests)
  foreach(child ${children})
    ferrow_collect_plugins(${child} below)
    list(APPEND found ${below})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(ferrow_define_deliverables)
  ferrow_collect_plugins(${CMAKE_SOURCE_DIR} plugins)
  set(names)
  foreach(plugin ${plugins})
    string(APPEND names "$<TARGET_FILE_NAME:${plugin}>\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/plugins.txt CONTENT "${names}")
  add_custom_target(ferrow_deliverables DEPENDS Ferrow FerrowHost ferrow_launcher ferrow_manual ${plugins})
endfunction()

if(WIN32)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL ferrow_define_deliverables)
endif()
