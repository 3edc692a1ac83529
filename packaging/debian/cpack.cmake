# The Debian package, made by CPack from the install rules (cpack -G DEB in
# the build folder): the program stripped, its files below /usr, and Depends
# found by dpkg-shlibdeps from the libraries the program links, plus the Qt
# platform plug-ins it loads at run time, which no library scan can see.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumenveil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumenveil maintainers <maintainers@users.noreply.c-seed-9727d86e.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
# Folders made by the install rules get the usual rwxr-xr-x whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | mate-screensaver | xfce4-screensaver")
# The summary, then the long description (CPack indents it; an empty line
# parts paragraphs).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "3D screen saver with particle creatures and a star field
Lumenveil & Astrel-1 is a full-screen 3D screen saver with two scenes over a
procedural nebula sky: glowing particle creatures around a slowly orbiting
camera, or a living star field of linked stars, supernovae and an accretion
disk. It draws through its own software 3D board, so it needs no GPU.

It runs on its own, as a hack of XScreenSaver, or under the MATE and Xfce
screen savers, with a control panel for its settings, and can render frames
to PNG files without a display.")
include(CPack)
