# The warnings every target of the project's own code is built with (not
# the libraries built from source for a cross build, such as GoogleTest).
function(quenrix_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${QUENRIX_WERROR}>>:-Werror>)
endfunction()
