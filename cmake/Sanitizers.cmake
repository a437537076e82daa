if(BREVANT_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # GCC's LeakSanitizer guesses the bounds of a run-time loaded library's thread-local block from the 16 bytes
  # before it (a layout of old C libraries); when the block lands on a page boundary it reads the allocator's own
  # header instead and crashes at exit. LLVM, which the software GL driver loads to compile shaders, is such a
  # library: the programs of this build load it at start-up, which makes its thread-local storage static.
  find_file(_gl_driver swrast_dri.so PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri NO_DEFAULT_PATH)
  find_program(_readelf readelf)
  if(_gl_driver AND _readelf AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    execute_process(COMMAND ${_readelf} -d ${_gl_driver} OUTPUT_VARIABLE _driver_needs ERROR_QUIET)
    string(REGEX MATCH "libLLVM[^]]*\\.so[.0-9]*" _llvm_runtime "${_driver_needs}")
    if(_llvm_runtime)
      add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:LINKER:--no-as-needed;-l:${_llvm_runtime}>")
    endif()
  endif()
elseif(BREVANT_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(BREVANT_SANITIZE)
  message(FATAL_ERROR "BREVANT_SANITIZE must be empty, 'address' or 'thread'")
endif()
