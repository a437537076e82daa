# Warnings for our own targets only; third-party libraries are built with -w.
function(brevant_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Signal-chain code: no FMA contraction and never fast-math, so every x86-64 machine computes the same bits.
function(brevant_strict_fp target)
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
endfunction()

# Adds a static library from every source below the given folders (non-recursive per folder).
# Returns nothing when the folders hold no sources yet.
function(brevant_layer target)
  set(srcs)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND srcs ${found})
  endforeach()
  if(srcs)
    add_library(${target} STATIC ${srcs})
  else()
    add_library(${target} INTERFACE)
  endif()
endfunction()
