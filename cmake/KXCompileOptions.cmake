# Compile options shared by every target of the project.
# Floating-point results must be bit-identical everywhere: never fuse or
# reorder floating-point operations.
add_library(kxcore_options INTERFACE)
target_compile_options(kxcore_options INTERFACE
  -ffp-contract=off -fno-fast-math
  -Wall -Wextra -Wno-unused-parameter)

if(KXCORE_SANITIZE)
  target_compile_options(kxcore_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kxcore_options INTERFACE -fsanitize=address,undefined)
endif()

# The thread sanitizer cannot be combined with the address sanitizer.
if(KXCORE_TSAN)
  if(KXCORE_SANITIZE)
    message(FATAL_ERROR "KXCORE_TSAN and KXCORE_SANITIZE exclude each other")
  endif()
  target_compile_options(kxcore_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kxcore_options INTERFACE -fsanitize=thread)
endif()
