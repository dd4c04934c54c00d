# What a plug-in module shows its host: its entry points and nothing else.
#
# qf_plugin_module_exports(<target> <exports map>)
#
# Linux: the map is the version script, and the module resolves every symbol when it is linked (except in
# the fuzz build, whose sanitizer runtimes live in the program that loads it). Windows: only the entry points
# marked for export leave the file, even from the static runtime libraries, and the shipped file carries no
# symbol table or debug sections.
function(qf_plugin_module_exports target exports_map)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${target} PRIVATE -Wl,--version-script=${exports_map})
    if(NOT QF_FUZZ)
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports_map})
  elseif(WIN32)
    target_link_options(${target} PRIVATE -Wl,--exclude-all-symbols $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endfunction()
