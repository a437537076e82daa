# The binding's tests play the host with brevant-host's objects.
if(TARGET test_vst3 AND TARGET brevant_host)
  target_link_libraries(test_vst3 PRIVATE brevant_host)
endif()
