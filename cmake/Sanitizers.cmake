if(VIRK_SANITIZE)
  add_compile_options(-fsanitize=${VIRK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VIRK_SANITIZE})
endif()
