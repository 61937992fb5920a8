# cmake --install: the program in bin/, the module and the platform library in the
# library directory, the plug-in SDK, the manual page and bash completion. The installed
# tree finds its own parts through runpaths relative to each file, so any prefix works.
file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})

# The module is found relative to the program (beside it in the build tree).
target_compile_definitions(kestrel_graph PRIVATE KESTREL_MODULE_INSTALL_DIR="${bin_to_lib}")
set_target_properties(kestrel PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
# The platform library loads the plug-in library by name: its own directory is searched.
set_target_properties(kestrel-module kestrel-platform PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS kestrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kestrel-platform kestrel-module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The manual page, from the help texts of the program just built.
set(man_page ${CMAKE_BINARY_DIR}/docs/kestrel.1)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -DKESTREL=$<TARGET_FILE:kestrel> -DVERSION=${PROJECT_VERSION} -DOUT=${man_page}
          -P ${CMAKE_SOURCE_DIR}/docs/ManPage.cmake
  DEPENDS kestrel ${CMAKE_SOURCE_DIR}/docs/ManPage.cmake
  COMMENT "Writing the manual page kestrel.1")
add_custom_target(kestrel-man ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/docs/kestrel.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestrel)
install(FILES ${CMAKE_SOURCE_DIR}/docs/plugins.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
