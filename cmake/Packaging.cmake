# What a Debian system expects of an installed station beside the programs: manual pages, desktop
# entries and icons, AppStream data, the service for headless stations with its system user, the
# package's copyright and changelog; and the Debian package itself (`scripts/package`).

set(_pkg ${CMAKE_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen}/man ${_gen}/doc)

# Manual pages and the changelog, compressed as Debian wants them (no time stamp in the gzip head).
set(_gz_outputs)
foreach(_page kel kel-station kel-viewer kel_remote)
    list(APPEND _gz_outputs ${_gen}/man/${_page}.1.gz)
    add_custom_command(OUTPUT ${_gen}/man/${_page}.1.gz
        COMMAND gzip -9nc ${_pkg}/man/${_page}.1 > ${_gen}/man/${_page}.1.gz
        DEPENDS ${_pkg}/man/${_page}.1)
endforeach()
list(APPEND _gz_outputs ${_gen}/doc/changelog.gz)
add_custom_command(OUTPUT ${_gen}/doc/changelog.gz
    COMMAND gzip -9nc ${_pkg}/debian/changelog > ${_gen}/doc/changelog.gz
    DEPENDS ${_pkg}/debian/changelog)

# The icon at the theme's usual sizes, drawn by the skin generator.
set(_icon_sizes 16 22 24 32 48 64 128 256)
set(_icon_outputs)
foreach(_size ${_icon_sizes})
    set(_png ${_gen}/icons/hicolor/${_size}x${_size}/apps/kel.png)
    list(APPEND _icon_outputs ${_png})
    add_custom_command(OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/icons/hicolor/${_size}x${_size}/apps
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:kel_default_skin> --icon ${_png} ${_size}
        DEPENDS kel_default_skin)
endforeach()
add_custom_target(kel_packaging_files ALL DEPENDS ${_gz_outputs} ${_icon_outputs})

install(FILES ${_gen}/man/kel.1.gz ${_gen}/man/kel-station.1.gz ${_gen}/man/kel-viewer.1.gz
              ${_gen}/man/kel_remote.1.gz DESTINATION share/man/man1)
install(FILES ${_pkg}/kel.desktop ${_pkg}/kel-viewer.desktop DESTINATION share/applications)
install(FILES ${_pkg}/kel.metainfo.xml DESTINATION share/metainfo RENAME io.github.kel_cctv.kel.metainfo.xml)
install(DIRECTORY ${_gen}/icons/hicolor DESTINATION share/icons)
install(FILES ${_pkg}/kel.service DESTINATION lib/systemd/system)
install(FILES ${_pkg}/kel.sysusers DESTINATION lib/sysusers.d RENAME kel.conf)
install(FILES ${_pkg}/debian/copyright ${_gen}/doc/changelog.gz DESTINATION share/doc/kel)
install(FILES ${_pkg}/debian/lintian-overrides DESTINATION share/lintian/overrides RENAME kel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The KEL developers <kel-dev@kel-cctv.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "closed-circuit television recorder")
# The extended description; CPack puts the summary above it and indents its lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "KEL turns a PC with up to 16 camera inputs (capture cards, IP cameras or
video files) into a recording station: a full-screen operator console with
live views, motion detection inside drawn zones, recording by a weekly
schedule into AVI segments rotated across the chosen drives, a TCP server for
remote viewers, e-mail notices, pan-tilt-zoom control on a serial line and
operators with per-camera rights.
.
The package holds the station (kel), its archive viewer (kel-viewer), a
command-line remote viewer (kel_remote), the skins, and a systemd service
that runs a headless station as its own system user.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries' packages come from the binaries; the Qt platform plugins and the fonts the skins
# are drawn with are loaded at run time, so no binary names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${_pkg}/debian/postinst ${_pkg}/debian/prerm ${_pkg}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
