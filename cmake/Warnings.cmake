# Warnings for our own targets only; third-party headers come in as SYSTEM.
add_library(quorl_warnings INTERFACE)
target_compile_options(quorl_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wformat=2
  -Werror)
