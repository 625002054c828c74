# Warnings as errors for our own targets; link veltor_warnings privately.
add_library(veltor_warnings INTERFACE)
if(MSVC)
  target_compile_options(veltor_warnings INTERFACE /W4 /WX)
else()
  target_compile_options(veltor_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Woverloaded-virtual -Wimplicit-fallthrough -Wno-missing-field-initializers -Werror)
endif()
