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
  # Test discovery at test time splits every list it is given, so several
  # labels travel as one ("integration+netns"); ctest -L takes a regular
  # expression, so `-L netns` and `-L integration` both select it. Only one
  # ENVIRONMENT entry survives for the same reason.
  # The Windows build's tests run under Wine and carry its label too. A Wine
  # start can hang when two programs start at once: a short time-out, and
  # the windows test preset runs a test that timed out once more.
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    list(APPEND ARG_LABELS wine)
    if(ARG_TIMEOUT GREATER 60)
      set(ARG_TIMEOUT 60)
    endif()
  endif()
  string(REPLACE ";" "+" labels "${ARG_LABELS}")
  list(LENGTH ARG_ENVIRONMENT envCount)
  if(envCount GREATER 1)
    message(FATAL_ERROR "camprep_test(${name}): at most one ENVIRONMENT entry")
  endif()
  set(environment "${ARG_ENVIRONMENT}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
