# The layer check on a small tree of its own (in SCRATCH): a folder's public
# headers may be included by the folders that use it, and its own files may
# include any of its headers; a header it keeps to itself, included by
# another folder, fails the check, which names the file and the header.
# cmake -DCHECK=cmake/checklayers.cmake -DSCRATCH=DIR -P private_headers.cmake
set(root ${SCRATCH}/tree)
file(REMOVE_RECURSE ${root})
file(WRITE ${root}/low/face.h "#pragma once\n")
file(WRITE ${root}/low/inner.h "#pragma once\n")
file(WRITE ${root}/low/low.cpp "#include \"low/face.h\"\n#include \"low/inner.h\"\n")
file(WRITE ${root}/high/high.cpp "#include \"low/face.h\"\n")
file(WRITE ${root}/rules.txt "low=low;low:public=face.h;high=high,low")

function(check expect_pass)
  file(REMOVE ${root}/ok)
  execute_process(COMMAND ${CMAKE_COMMAND} -DLV_SOURCE_DIR=${root} -DLV_RULES_FILE=${root}/rules.txt
                          -DLV_STAMP=${root}/ok -P ${CHECK}
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  set(errors "${errors}" PARENT_SCOPE)
  if(expect_pass AND NOT (result EQUAL 0 AND EXISTS ${root}/ok))
    message(FATAL_ERROR "the check refused a tree it should take:\n${errors}")
  elseif(NOT expect_pass AND (result EQUAL 0 OR EXISTS ${root}/ok))
    message(FATAL_ERROR "the check took a tree it should refuse")
  endif()
endfunction()

check(TRUE)
file(APPEND ${root}/high/high.cpp "#include \"low/inner.h\"\n")
check(FALSE)
if(NOT errors MATCHES "high/high.cpp includes low/inner.h, which low keeps to itself")
  message(FATAL_ERROR "the refusal does not name the file and the header:\n${errors}")
endif()
# A folder that does not use another is refused as before.
file(WRITE ${root}/high/high.cpp "#include \"low/face.h\"\n")
file(WRITE ${root}/rules.txt "low=low;low:public=face.h;high=high")
check(FALSE)
if(NOT errors MATCHES "high/high.cpp includes low/face.h, but high does not use low")
  message(FATAL_ERROR "the refusal does not name the folder it does not use:\n${errors}")
endif()
