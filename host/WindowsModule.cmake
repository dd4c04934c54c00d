# The Windows plug-in file: "Quaverflux.aex" with its PiPL and version resources, exporting only the two
# host entry points (marked __declspec(dllexport) in Exports.h), the C++ runtime linked in.
enable_language(RC)

set_target_properties(Quaverflux PROPERTIES SUFFIX ".aex")

# Both resources come from EffectIdentity.h through the native tool make_resources; the script it writes
# names the PiPL file, which windres copies in byte for byte.
set(qf_resource_dir ${CMAKE_CURRENT_BINARY_DIR}/resources)
set(qf_pipl ${qf_resource_dir}/Quaverflux.pipl)
set(qf_rc ${qf_resource_dir}/Quaverflux.rc)
add_custom_command(
  OUTPUT ${qf_pipl} ${qf_rc}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${qf_resource_dir}
  COMMAND make_resources --pipl ${qf_pipl} --rc ${qf_rc}
  DEPENDS make_resources ${CMAKE_CURRENT_SOURCE_DIR}/EffectIdentity.h
  COMMENT "Writing the PiPL and version resources"
  VERBATIM)
set_source_files_properties(${qf_rc} PROPERTIES OBJECT_DEPENDS ${qf_pipl})
target_sources(Quaverflux PRIVATE ${qf_rc})
