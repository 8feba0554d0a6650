# Warnings per target, so third-party code is not held to them.
function(corvana_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow-uncaptured-local>
                         -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wformat=2)
  if(CORVANA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
