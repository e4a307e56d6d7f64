# norvel_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>]
#                 [OWN_MAIN])
# OWN_MAIN: the sources bring their own main() (for example one that makes a QApplication).
# Builds one GoogleTest executable and registers each of its cases with CTest. Cases are listed
# when the tests run, not at build time, so a program that needs a display or a server is never
# started by the build.
function(norvel_add_test name)
  cmake_parse_arguments(T "OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest norvel_settings)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;NORVEL_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()
