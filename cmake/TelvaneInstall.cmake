# What `cmake --install` puts under the prefix, and the Debian package made of it.
# Every project library is static, so the three programs are all there is to install
# besides the files a desktop and a distribution expect beside them: the desktop entry, its
# icon and AppStream data, the manual pages, bash completion, the copyright and changelog, and
# the systemd unit for unattended recording with its example configuration.
include(GNUInstallDirs)

set(TELVANE_PACKAGE_CONTACT "Telvane maintainers <maintainers@telvane.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(TELVANE_HOMEPAGE "https://telvane.invalid" CACHE STRING
    "Where the project publishes its pages; the AppStream screenshot is screenshots/window.png there")

set(package_dir ${PROJECT_BINARY_DIR}/packaging)
set(desktop_icon ${package_dir}/telvane.png)
set(metainfo ${package_dir}/org.telvane.telvane.metainfo.xml)

# The icon is drawn by the same code as the window's own icon.
add_custom_command(OUTPUT ${desktop_icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}
    COMMAND telvane-artwork --icon ${desktop_icon}
    DEPENDS telvane-artwork
    COMMENT "Drawing the desktop icon"
    VERBATIM)

# Compressed at the highest level without a time stamp, as Debian keeps manual pages and
# changelogs.
set(compressed)
foreach(source app/telvane.1 recorder/telvane-cli.1 simulator/telvane-sim.1 packaging/changelog.in)
    get_filename_component(name ${source} NAME)
    string(REGEX REPLACE "\\.in$" "" name ${name})
    configure_file(${PROJECT_SOURCE_DIR}/${source} ${package_dir}/${name} @ONLY)
    add_custom_command(OUTPUT ${package_dir}/${name}.gz
        COMMAND gzip -9 -n -k -f ${package_dir}/${name}
        DEPENDS ${package_dir}/${name}
        VERBATIM)
    list(APPEND compressed ${package_dir}/${name}.gz)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${package_dir}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/org.telvane.telvane.metainfo.xml.in ${metainfo}
    @ONLY)
add_custom_target(telvane_desktop_files ALL DEPENDS ${desktop_icon} ${compressed})

install(TARGETS telvane telvane-cli telvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/telvane.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${package_dir}/telvane.1.gz ${package_dir}/telvane-cli.1.gz
              ${package_dir}/telvane-sim.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/telvane-cli.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME telvane-cli)
install(FILES ${package_dir}/copyright ${package_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/telvane)
# Unattended recording as a service: one instance per /etc/telvane/<name>.conf.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/telvane-record@.service
    DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/record.conf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/telvane/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvane)
set(CPACK_PACKAGE_CONTACT "${TELVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "front end of a 16-channel voltage sampling instrument on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "Connects to the instrument, reads its battery and range, records single- or\n\
multi-channel runs, shows them live, browses the runs stored in SQLite and\n\
exports them as CSV and PNG. Also telvane-cli, the recorder without a window,\n\
and telvane-sim, an instrument simulator on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# telvane_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# dpkg-shlibdeps finds the Qt and QCustomPlot libraries the programs link; the SQLite
# driver is a plugin Qt loads at run time, which only a name here brings in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
# The form is laid out for Arial's metrics, which Liberation Sans has.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
include(CPack)
