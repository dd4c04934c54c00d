# Read by CTest after the discovered tests: each program's tests get both of their labels.
foreach(program_labels "cli_video_tests:cli;video" "cli_farm_tests:cli;slurm")
  string(REPLACE ":" ";" parts "${program_labels}")
  list(POP_FRONT parts program)
  if(${program}_TESTS)
    set_tests_properties(${${program}_TESTS} PROPERTIES LABELS "${parts}")
  endif()
endforeach()
