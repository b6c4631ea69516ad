include(GoogleTest)

# camprep_test(NAME SOURCES ... DEPS ... LABELS unit|integration|gui|netns
#              [ENVIRONMENT VAR=VALUE ...] [TIMEOUT seconds])
# One executable per call; every GoogleTest case becomes one ctest test
# carrying the labels, so `ctest -L unit` or `ctest -R Name` pick them out.
function(camprep_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE camprep::options ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE CAMPREP_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
