# vyr_add_test(NAME SOURCES src... LIBS lib... [ENV VAR=value...] [TIMEOUT seconds])
# Builds one QtTest executable and registers it with ctest. Every test runs with its
# own HOME and XDG_DATA_HOME below the build tree, so it never touches the user's data.
function(vyr_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set(home ${CMAKE_BINARY_DIR}/test-home/${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(VYR_SANITIZE STREQUAL "thread")
    list(APPEND T_ENV "TSAN_OPTIONS=halt_on_error=1 suppressions=${CMAKE_SOURCE_DIR}/cmake/tsan-suppressions.txt")
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_DATA_HOME=${home}/.local/share;XDG_CONFIG_HOME=${home}/.config;VYR_BIN_DIR=${VYR_BIN_DIR};VYR_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
endfunction()

# Adds every sub-folder that has a CMakeLists.txt, so each subsystem keeps its own list.
function(vyr_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
