# kz_add_test(NAME SOURCES... [LIBS ...] [LABELS ...] [DEPENDS targets...])
# A GoogleTest executable registered with CTest. Tests run with the corpus and tool folders in
# their environment so they find real material without guessing paths.
set(KZ_CORPUS_DIR ${CMAKE_SOURCE_DIR}/../shared/corpus/swf CACHE PATH "The SWF corpus")

# Each build runs one kind of test: the sanitized build the unit and widget tests ("unit"),
# the release build the end-to-end tests of the real programs ("e2e").
set(KZ_TEST_KIND unit CACHE STRING "Which tests this build makes and registers: unit or e2e")

function(kz_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT KZ_TEST_KIND IN_LIST T_LABELS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if("e2e" IN_LIST T_LABELS)
    set(main kz_e2emain)
  else()
    set(main kz_testmain)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${main} kz_testsupport GTest::gtest)
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600
    ENVIRONMENT "KZ_CORPUS_DIR=${KZ_CORPUS_DIR};KZ_BIN_DIR=${KZ_BIN_DIR};KZ_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
