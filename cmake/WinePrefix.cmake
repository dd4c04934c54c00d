# Makes the Wine prefix that the Windows tests run in, once: later runs find it and return at once.
#   cmake -DPREFIX=<folder> "-DEMULATOR=<wine command, items joined with |>" -P WinePrefix.cmake
# Headless: no display is needed, and the Mono and Gecko installers are switched off in the emulator command.
foreach(v PREFIX EMULATOR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "WinePrefix: ${v} is not set")
  endif()
endforeach()
if(EXISTS "${PREFIX}/system.reg" AND EXISTS "${PREFIX}/drive_c/windows/system32")
  return()
endif()
string(REPLACE "|" ";" command "${EMULATOR}")
execute_process(COMMAND ${command} wineboot.exe --init RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS "${PREFIX}/system.reg")
  message(FATAL_ERROR "WinePrefix: wineboot failed (${result}) for ${PREFIX}")
endif()
