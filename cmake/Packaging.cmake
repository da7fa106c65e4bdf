# `cpack -G DEB` in the build folder (or the `package` target) makes a .deb
# for Debian 12 from what `cmake --install` installs, under /usr.
set(MDI_PACKAGE_MAINTAINER "mdimager maintainers <maintainers@mdimager.invalid>"
  CACHE STRING "Maintainer field of the packages made by CPack")

set(CPACK_PACKAGE_NAME mdimager)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${MDI_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image several disks side by side, with sector mutate")
# The extended description below the summary; CPack indents its lines and
# writes the empty line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A desktop tool (Qt 6) that images several hard disks and image files
side by side, in one run, into raw image files in a target folder. Sector
mutate writes a disk with 520, 522, 524 or 528-byte sectors (disks taken
from storage arrays) out as an image of 512-byte sectors.

The program runs as the desktop user. A drive the user may not open is
opened read-only through udisks2, after the administrator's password is
given once. Disks read only through SCSI pass-through need root or the
disk group. Sources are opened read-only; nothing is installed setuid.")

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MDI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# mdimager_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps finds the packages of the shared libraries the program
# links, whichever they are, and adds them to these.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin at run time, so no library link names
# it; libqt6gui6 only recommends it, and without it the window cannot open.
# udisks2 opens the drives of a user who may not open them (over D-Bus, so
# no link names it either); without it such a user images files only.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, udisks2")
# File > Help opens the manual in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

set(CPACK_GENERATOR DEB)
include(CPack)
