# Flags every target of the project links through the INTERFACE target vrkt_build_flags.
add_library(vrkt_build_flags INTERFACE)
target_compile_options(vrkt_build_flags INTERFACE -Wall -Wextra -Wno-unused-parameter)

# Warnings as errors, for developers (preset dev); off by default, so that a newer compiler's new
# warnings do not break a user's build.
if(VRKT_WERROR)
  target_compile_options(vrkt_build_flags INTERFACE -Werror)
endif()

# The distribution's hardening (what Debian's dpkg-buildflags hands a package build): fortified
# libc calls, stack protector, format strings checked, position-independent executables, and
# relocations read-only after start-up. The print side runs the library as root. Left out where a
# sanitizer or libFuzzer instruments the code: they bring their own checks and their runtimes do not
# mix with these.
if(NOT VRKT_SANITIZE AND NOT VRKT_TSAN AND NOT VRKT_FUZZ)
  # Fortified calls need the optimiser; without it glibc only warns in every file.
  target_compile_definitions(vrkt_build_flags INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  target_compile_options(vrkt_build_flags INTERFACE
    -fstack-protector-strong -Wformat -Werror=format-security)
  # Code is compiled position-independent already (Qt's targets ask for -fPIC, Debian's compiler
  # makes PIE by default); executables are linked as PIE explicitly.
  target_link_options(vrkt_build_flags INTERFACE
    $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-pie>
    LINKER:-z,relro LINKER:-z,now)
endif()

if(VRKT_SANITIZE)
  target_compile_options(vrkt_build_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vrkt_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# ThreadSanitizer, for the tests that cross threads (label tsan); it cannot be combined with
# AddressSanitizer.
if(VRKT_TSAN)
  if(VRKT_SANITIZE)
    message(FATAL_ERROR "VRKT_TSAN and VRKT_SANITIZE exclude each other: use two build directories")
  endif()
  target_compile_options(vrkt_build_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vrkt_build_flags INTERFACE -fsanitize=thread)
endif()
