# The board's wider vector spans are compiled for their own instructions,
# each width in a file of its own; the program picks them at run time where
# the processor has them. No multiply and add may be fused there (newer
# processors have fused ones), or they would round differently from the
# reference path. Called where the board's sources are compiled.
function(lv_board_vector_flags root)
  set_source_files_properties(${root}/glide/spans256.cpp PROPERTIES
                              COMPILE_OPTIONS "-mavx2;-ffp-contract=off")
  set_source_files_properties(${root}/glide/spans512.cpp PROPERTIES
                              COMPILE_OPTIONS "-mavx512f;-mavx512bw;-mavx512vl;-ffp-contract=off")
endfunction()
