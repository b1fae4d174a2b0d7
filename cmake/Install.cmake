# Where `cmake --install` puts the gateway. The programs keep the layout the
# configurator relies on (<dir>/configurator, <dir>/keyforge, <dir>/cfgtool,
# <dir>/server/server) in a private folder; the commands on the PATH are
# relative links to them.
include(GNUInstallDirs)

set(VIRK_INSTALL_PROGRAM_DIR "lib/virk-gateway" CACHE PATH
    "Folder of the programs, relative to the prefix")
set(VIRK_INSTALL_DATA_DIR "${CMAKE_INSTALL_DATADIR}/virk-gateway")
# Debian 12 keeps system units in /lib; elsewhere the prefix's lib is right.
set(VIRK_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE PATH
    "Folder of the systemd unit, relative to the prefix or absolute")
set(VIRK_SYSUSERS_DIR "lib/sysusers.d" CACHE PATH
    "Folder of the sysusers.d entry, relative to the prefix or absolute")

# One command per program: `virk-<name>` in bin, a relative link into the
# program folder, so the programs still find each other beside themselves.
function(virk_install_command target command)
  get_target_property(output_dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  file(RELATIVE_PATH in_program_dir ${VIRK_BIN_DIR} ${output_dir}/${target})
  file(RELATIVE_PATH link_target
       ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${VIRK_INSTALL_PROGRAM_DIR}/${in_program_dir})
  get_filename_component(destination ${VIRK_INSTALL_PROGRAM_DIR}/${in_program_dir} DIRECTORY)
  install(TARGETS ${target} RUNTIME DESTINATION ${destination})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${command}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    message(STATUS \"Installing: \${link} -> ${link_target}\")
    file(CREATE_LINK \"${link_target}\" \"\${link}\" SYMBOLIC)")
endfunction()

virk_install_command(server virk-server)
virk_install_command(keyforge virk-keyforge)
virk_install_command(cfgtool virk-cfgtool)
if(TARGET configurator)
  virk_install_command(configurator virk-configurator)
  install(FILES packaging/virk-configurator.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES configurator/res/images/res/OPCServerModbus.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME virk-configurator.png)
endif()

# The sample: its plain form and the scrambled file the server loads. Packing
# runs the freshly built cfgtool, which a cross build cannot run.
if(NOT CMAKE_CROSSCOMPILING)
  set(VIRK_SAMPLE_CFG ${CMAKE_BINARY_DIR}/share/virk-gateway/examples/sample.cfg)
  add_custom_command(OUTPUT ${VIRK_SAMPLE_CFG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/virk-gateway/examples
    COMMAND cfgtool pack ${PROJECT_SOURCE_DIR}/examples/sample.csv ${VIRK_SAMPLE_CFG}
    DEPENDS cfgtool ${PROJECT_SOURCE_DIR}/examples/sample.csv
    COMMENT "Packing the sample configuration")
  add_custom_target(sample_cfg ALL DEPENDS ${VIRK_SAMPLE_CFG})
  install(FILES examples/sample.csv ${VIRK_SAMPLE_CFG} DESTINATION ${VIRK_INSTALL_DATA_DIR}/examples)
endif()

# The manual with its pictures; the configurator's help window reads it from
# here. The build tree gets the same folders as links, so a program run from
# build/bin finds them at the place the installed one looks.
install(DIRECTORY docs/manual docs/screenshots DESTINATION ${VIRK_INSTALL_DATA_DIR})
foreach(folder manual screenshots)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/virk-gateway)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/docs/${folder} ${CMAKE_BINARY_DIR}/share/virk-gateway/${folder} SYMBOLIC)
endforeach()

install(FILES docs/man/virk-server.1 docs/man/virk-keyforge.1 docs/man/virk-cfgtool.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET configurator)
  install(FILES docs/man/virk-configurator.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The service: one instance per configuration in /etc/virk-gateway.
install(FILES packaging/virk-gateway@.service DESTINATION ${VIRK_SYSTEMD_UNIT_DIR})
install(FILES packaging/virk-gateway.sysusers DESTINATION ${VIRK_SYSUSERS_DIR} RENAME virk-gateway.conf)
install(FILES packaging/virk-gateway.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME virk-gateway)
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/virk-gateway)
