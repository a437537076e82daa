# brevant-host's LV2 back end: a small LV2 test bundle (stereo and mono variants, latency, state, a preset) hosted
# in-process through lilv; and, when Brevant's LV2 bundle is part of the build, renders through it against the VST3
# bundle.
if(TARGET brevant_host)
  set(_lv2 ${CMAKE_CURRENT_LIST_DIR}/tools/lv2)
  set(_testlv2 ${CMAKE_CURRENT_BINARY_DIR}/bundles/TestLV2.lv2)
  add_library(TestLV2 MODULE ${_lv2}/TestLV2Plugin/TestLV2.cpp)
  set_target_properties(TestLV2 PROPERTIES PREFIX "" OUTPUT_NAME TestLV2 CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY $<1:${_testlv2}>)
  brevant_warnings(TestLV2)
  configure_file(${_lv2}/TestLV2Plugin/manifest.ttl ${_testlv2}/manifest.ttl COPYONLY)
  configure_file(${_lv2}/TestLV2Plugin/TestLV2.ttl ${_testlv2}/TestLV2.ttl COPYONLY)

  add_executable(test_lv2host ${_lv2}/HostedLV2_test.cpp)
  target_link_libraries(test_lv2host PRIVATE brevant_host GTest::gtest GTest::gtest_main)
  target_compile_definitions(test_lv2host PRIVATE TESTLV2_BUNDLE="${_testlv2}")
  add_dependencies(test_lv2host TestLV2)
  brevant_warnings(test_lv2host)
  gtest_discover_tests(test_lv2host DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)

  if(DEFINED BREVANT_LV2_BUNDLE AND TARGET Brevant AND TARGET brevant_plugin)
    add_executable(test_lv2render ${_lv2}/render/LV2MatchesVST3_test.cpp)
    target_link_libraries(test_lv2render PRIVATE brevant_plugin brevant_host GTest::gtest GTest::gtest_main)
    get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
    target_compile_definitions(test_lv2render PRIVATE BREVANT_LV2_BUNDLE="${BREVANT_LV2_BUNDLE}"
      BREVANT_BUNDLE_DIR="${_bundle}")
    add_dependencies(test_lv2render Brevant)
    if(TARGET BrevantLV2)
      add_dependencies(test_lv2render BrevantLV2)
    endif()
    brevant_warnings(test_lv2render)
    gtest_discover_tests(test_lv2render DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endif()
