# Warnings for our own targets; link veltor_warnings privately. They become errors only with
# VELTOR_WARNINGS_AS_ERRORS (on in scripts/test and CI), so a packager's plain build never
# fails on a new compiler's warning.
option(VELTOR_WARNINGS_AS_ERRORS "Treat warnings of our own targets as errors" OFF)

add_library(veltor_warnings INTERFACE)
if(MSVC)
  target_compile_options(veltor_warnings INTERFACE /W4 $<$<BOOL:${VELTOR_WARNINGS_AS_ERRORS}>:/WX>)
else()
  target_compile_options(veltor_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Woverloaded-virtual -Wimplicit-fallthrough -Wno-missing-field-initializers
    $<$<BOOL:${VELTOR_WARNINGS_AS_ERRORS}>:-Werror>)
endif()
