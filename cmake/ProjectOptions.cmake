# Compiler settings shared by every target of the project.

# Floating-point results must not depend on the optimiser: no fused
# multiply-add contraction, so the analysis gives the same bits everywhere.
add_compile_options(-ffp-contract=off)

if(ZX840_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors on our own targets (not on third-party code).
function(zx840_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
endfunction()
