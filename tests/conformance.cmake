# Conformance suite: the built Brevant bundle loaded with dlopen and driven through the VST3 interfaces the way
# validators and DAWs drive an effect.
if(TARGET Brevant AND TARGET brevant_host)
  file(GLOB _conformance_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tools/conformance/*.cpp)
  add_executable(test_conformance ${_conformance_srcs})
  target_include_directories(test_conformance PRIVATE ${CMAKE_CURRENT_LIST_DIR}/IPlug/VST3)
  target_link_libraries(test_conformance PRIVATE brevant_host GTest::gtest GTest::gtest_main)
  get_target_property(_conformance_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_conformance PRIVATE BREVANT_BUNDLE_DIR="${_conformance_bundle}")
  add_dependencies(test_conformance Brevant)
  brevant_warnings(test_conformance)
  gtest_discover_tests(test_conformance TEST_FILTER "-ConformanceThreads.*" TEST_LIST _conformance_tests
    DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  # Instances on parallel threads: also run under ThreadSanitizer.
  add_dependencies(concurrency_tests test_conformance)
  gtest_discover_tests(test_conformance TEST_FILTER "ConformanceThreads.*" TEST_LIST _conformance_thread_tests
    DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS concurrency)
endif()
