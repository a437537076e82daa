# Host tool suite: a test plug-in module built with the SDK helper classes the way an SDK user builds one, a module
# without entry points, and tests that drive them through brevant-host and its library.
set(_tools ${CMAKE_CURRENT_LIST_DIR}/tools)
set(BREVANT_TEST_BUNDLES ${CMAKE_CURRENT_BINARY_DIR}/bundles)

add_library(TestGain MODULE ${_tools}/TestGainPlugin/TestGain.cpp)
target_link_libraries(TestGain PRIVATE iplug_vst3)
brevant_warnings(TestGain)
brevant_vst3_bundle(TestGain BUNDLE_NAME TestGain OUTPUT_DIRECTORY ${BREVANT_TEST_BUNDLES}
  RESOURCES ${_tools}/TestGainPlugin/Resources/TestGain.txt)

add_library(NoEntry MODULE ${_tools}/NoEntryModule/NoEntry.cpp)
set_target_properties(NoEntry PROPERTIES PREFIX "" OUTPUT_NAME NoEntry
  LIBRARY_OUTPUT_DIRECTORY $<1:${BREVANT_TEST_BUNDLES}/NoEntry.vst3/Contents/x86_64-linux>)

# test_tools: the SDK helpers through the test module, the hosting library in-process, and the program end to end.
file(GLOB _tool_tests CONFIGURE_DEPENDS ${_tools}/*.cpp)
add_executable(test_tools ${_tool_tests})
target_include_directories(test_tools PRIVATE ${_tools}/TestGainPlugin)
target_link_libraries(test_tools PRIVATE brevant_host GTest::gtest GTest::gtest_main)
target_compile_definitions(test_tools PRIVATE
  TESTGAIN_BUNDLE="$<TARGET_PROPERTY:TestGain,BREVANT_VST3_BUNDLE_DIR>"
  TESTGAIN_LIBRARY="$<TARGET_FILE:TestGain>"
  NOENTRY_BUNDLE="${BREVANT_TEST_BUNDLES}/NoEntry.vst3"
  BREVANT_HOST_EXE="$<TARGET_FILE:brevant-host>")
add_dependencies(test_tools TestGain NoEntry brevant-host)
brevant_warnings(test_tools)
gtest_discover_tests(test_tools DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)

# Tests with threads: also run under ThreadSanitizer (label "concurrency").
add_executable(test_tools_threads ${_tools}/concurrency/HostThreads_test.cpp)
target_include_directories(test_tools_threads PRIVATE ${_tools}/TestGainPlugin)
target_link_libraries(test_tools_threads PRIVATE brevant_host GTest::gtest GTest::gtest_main)
target_compile_definitions(test_tools_threads PRIVATE
  TESTGAIN_BUNDLE="$<TARGET_PROPERTY:TestGain,BREVANT_VST3_BUNDLE_DIR>")
add_dependencies(test_tools_threads TestGain)
brevant_warnings(test_tools_threads)
add_dependencies(concurrency_tests test_tools_threads)
gtest_discover_tests(test_tools_threads DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS concurrency)
