# Host tool suite: a test plug-in module built with the SDK helper classes the way an SDK user builds one, a module
# without entry points, and tests that drive them through brevant-host and its library.
set(_tools ${CMAKE_CURRENT_LIST_DIR}/tools)
set(BREVANT_TEST_BUNDLES ${CMAKE_CURRENT_BINARY_DIR}/bundles)

add_library(TestGain MODULE ${_tools}/TestGainPlugin/TestGain.cpp)
target_link_libraries(TestGain PRIVATE iplug_vst3)
brevant_warnings(TestGain)
brevant_vst3_bundle(TestGain BUNDLE_NAME TestGain OUTPUT_DIRECTORY ${BREVANT_TEST_BUNDLES})

add_library(NoEntry MODULE ${_tools}/NoEntryModule/NoEntry.cpp)
set_target_properties(NoEntry PROPERTIES PREFIX "" OUTPUT_NAME NoEntry
  LIBRARY_OUTPUT_DIRECTORY $<1:${BREVANT_TEST_BUNDLES}/NoEntry.vst3/Contents/x86_64-linux>)
