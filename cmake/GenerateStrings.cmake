# Generates, at configure time, the string table for both builds from
# resources/strings.txt: a resource-script fragment, a C++ table and, from
# its template, the header of the ids by name (string_ids.h).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(kestrova_generate_strings source template outdir)
  set(script ${CMAKE_SOURCE_DIR}/cmake/generate_strings.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source} ${template} ${script})
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${script} ${source} ${template} ${outdir}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "string table generation failed")
  endif()
endfunction()
