# quorbel_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable registered with CTest as a single test.
# Label "concurrency" marks tests that also run under ThreadSanitizer;
# label "gui" marks tests that need Qt (run with the offscreen platform).
function(quorbel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set(environment "QT_QPA_PLATFORM=offscreen")
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${environment}" TIMEOUT 600)
endfunction()
