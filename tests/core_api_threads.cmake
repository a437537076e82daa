# Plug-in core tests that run real threads: labelled "concurrency" so that the ThreadSanitizer build runs them.
file(GLOB core_thread_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/threads/*.cpp)
if(core_thread_srcs)
  add_executable(test_core_threads ${core_thread_srcs})
  target_include_directories(test_core_threads PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/IPlug)
  target_link_libraries(test_core_threads PRIVATE GTest::gtest GTest::gmock GTest::gtest_main iplug_core)
  brevant_warnings(test_core_threads)
  gtest_discover_tests(test_core_threads DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS concurrency)
endif()
