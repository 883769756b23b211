# vc_module_definition(FILE LIBRARY EXPORT...): writes a module-definition
# file that exports each function by its plain name. An EXPORT is NAME:BYTES,
# a standard-calling-convention function whose arguments take BYTES bytes
# (32-bit Windows decorates its symbol as NAME@BYTES; 64-bit Windows does not
# decorate), or NAME=SYMBOL DATA, a variable exported under NAME.
function(vc_module_definition file library)
  set(lines "LIBRARY ${library}\nEXPORTS\n")
  foreach(export ${ARGN})
    if(export MATCHES "^([A-Za-z_0-9]+):([0-9]+)$")
      if(VC_WINDOWS_BITS EQUAL 32)
        string(APPEND lines "    ${CMAKE_MATCH_1} = ${CMAKE_MATCH_1}@${CMAKE_MATCH_2}\n")
      else()
        string(APPEND lines "    ${CMAKE_MATCH_1}\n")
      endif()
    else()
      string(APPEND lines "    ${export}\n")
    endif()
  endforeach()
  file(WRITE ${file} "${lines}")
endfunction()
