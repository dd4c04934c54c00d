# Fails when an object file of a vector row shader (FILES, '|'-separated) defines an external or weak
# (COMDAT) symbol other than its one entry point, ShadeRow<ISA>: an inline function compiled there with
# -mavx2 or -mavx512f could be picked by the linker for every caller, and then run on a processor
# without those instructions.
string(REPLACE "|" ";" files "${FILES}")
foreach(f ${files})
  execute_process(COMMAND ${NM} -C --defined-only ${f} OUTPUT_VARIABLE syms RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${f}")
  endif()
  string(REGEX MATCHALL "[^\n]* [TDBRWVu] [^\n]*" shared "${syms}")
  set(entries 0)
  foreach(line ${shared})
    if(line MATCHES " T ShadeRow(SSE2|AVX2|AVX512)\\(")
      math(EXPR entries "${entries} + 1")
    elseif(line MATCHES " V DW\\.ref\\.__gxx_personality_v0$")
      # The unwinder's pointer to the C++ personality routine (emitted where sanitizers add cleanups):
      # data, the same in every object, never code.
    else()
      message(FATAL_ERROR "${f} defines a symbol other code could bind to: ${line}")
    endif()
  endforeach()
  if(NOT entries EQUAL 1)
    message(FATAL_ERROR "${f}: expected one ShadeRow entry point, found ${entries}")
  endif()
endforeach()
message(STATUS "vector row shader objects define nothing but their entry points")
