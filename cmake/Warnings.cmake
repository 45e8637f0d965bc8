# Warnings for our own targets only; third-party headers come in as SYSTEM.
add_library(quorl_warnings INTERFACE)
target_compile_options(quorl_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wformat=2
  -Werror)
# GCC 12 reports impossible overlaps inside std::string's own concatenation
# once enough of it is inlined (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(quorl_warnings INTERFACE -Wno-restrict)
endif()
# With the thread sanitizer's instrumentation inlined, GCC 12 reports null
# dereferences inside std::string that cannot happen (in CLI11's splitting).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
  target_compile_options(quorl_warnings INTERFACE -Wno-error=null-dereference)
endif()
