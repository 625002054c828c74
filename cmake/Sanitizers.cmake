# AddressSanitizer + UndefinedBehaviorSanitizer for every target of the build.
if(VELTOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
  add_link_options(-fsanitize=address,undefined)
endif()
