# orvanto_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [GUI])
# Builds a GoogleTest executable into build/tests and registers its cases
# with CTest. GUI tests run on Qt's offscreen platform.
function(orvanto_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ORVANTO_BUILD_TESTS)
    return()
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} orvanto_qt_test_main GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  endif()
  target_compile_definitions(${name} PRIVATE
    ORVANTO_BIN_DIR="${ORVANTO_BIN_DIR}"
    ORVANTO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ORVANTO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVANTO_TEST_DIR})
  set(env "")
  if(T_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${ORVANTO_TEST_DIR}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${env}" LABELS "${T_LABELS}")
endfunction()
