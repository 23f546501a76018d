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

# Every build but Debug (so Release and the Debian package) carries Debian's
# hardening, as dpkg-buildflags gives it with every hardening feature on:
# fortified C library functions, the stack protector, read-only relocations
# and immediate binding. Optimisation and debug information stay with the
# build type, so its -g and -O2 are dropped, and so are the path maps, which
# would name the folder the flags were asked from. The sanitizers and the
# fuzzer bring checks of their own.
if(NOT ZX840_SANITIZE AND NOT ZX840_FUZZ)
  find_program(ZX840_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  set(zx840_hardening_env
      "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
      "DEB_CXXFLAGS_MAINT_STRIP=-g -O2")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env ${zx840_hardening_env} ${ZX840_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(zx840_hardening_${kind} ${flags})
  endforeach()
  list(JOIN zx840_hardening_CPPFLAGS " " shown)
  foreach(kind CXXFLAGS LDFLAGS)
    list(JOIN zx840_hardening_${kind} " " more)
    string(APPEND shown " ${more}")
  endforeach()
  message(STATUS "Hardening (not in Debug builds): ${shown}")
  set(not_debug "$<NOT:$<CONFIG:Debug>>")
  add_compile_options("$<${not_debug}:${zx840_hardening_CPPFLAGS};${zx840_hardening_CXXFLAGS}>")
  add_link_options("$<${not_debug}:${zx840_hardening_LDFLAGS}>")
endif()
