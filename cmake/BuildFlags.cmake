# Flags every target of the project links through the INTERFACE target vrkt_build_flags.
add_library(vrkt_build_flags INTERFACE)
target_compile_options(vrkt_build_flags INTERFACE -Wall -Wextra -Wno-unused-parameter)

# Warnings as errors, for developers (preset dev); off by default, so that a newer compiler's new
# warnings do not break a user's build.
if(VRKT_WERROR)
  target_compile_options(vrkt_build_flags INTERFACE -Werror)
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
