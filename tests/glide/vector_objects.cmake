# The board's objects as the vector widths need them. The objects compiled
# for wider vectors than every processor has (spans256, spans512) define no
# function another object could be linked with in their place (no global or
# weak function, no weak or unique object: only their writers' table), and
# hold no fused multiply-add; the other objects use no 256- or 512-bit
# register at all. Otherwise a copy of a shared inline function compiled for
# AVX-512 could be the one the whole program runs, on processors without it.
# cmake -DNM=nm -DOBJDUMP=objdump -DOBJECTS="a.o|b.o|..." -P vector_objects.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
set(faults "")
set(wide 0)
foreach(object ${objects})
  get_filename_component(name ${object} NAME)
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${object} OUTPUT_VARIABLE code
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${object}")
  endif()
  if(name MATCHES "^spans(256|512)\\.")
    math(EXPR wide "${wide} + 1")
    execute_process(COMMAND ${NM} ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${NM} could not read ${object}")
    endif()
    string(REGEX MATCHALL "[^\n]* [TWVuiv] [^\n]*" shared "${symbols}")
    foreach(symbol ${shared})
      string(APPEND faults "  ${name} defines ${symbol}\n")
    endforeach()
    if(NOT symbols MATCHES " [DR] _?Spans(256|512)")
      string(APPEND faults "  ${name} defines no table of its writers\n")
    endif()
    if(code MATCHES "vf(n)?m(add|sub)")
      string(APPEND faults "  ${name} holds fused multiply-add instructions\n")
    endif()
  elseif(code MATCHES "%[yz]mm")
    string(APPEND faults "  ${name} uses 256- or 512-bit registers, though compiled for every processor\n")
  endif()
endforeach()
if(NOT wide EQUAL 2)
  string(APPEND faults "  ${wide} objects of the wider vector spans found, not 2\n")
endif()
if(faults)
  message(FATAL_ERROR "The board's vector objects:\n${faults}")
endif()
