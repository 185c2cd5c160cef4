# The Debian packages, one per component. scripts/package runs cpack once per
# component so each package carries its own program's version.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL talvane ordwin update_site)
set(CPACK_PACKAGE_VENDOR "Velmora")
# The project has no maintainer address yet: the name stands alone (lintian
# reports malformed-contact until one is given).
set(CPACK_PACKAGE_CONTACT "Velmora workstation tools developers")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_TALVANE_PACKAGE_NAME velmora-talvane)
set(CPACK_DEBIAN_TALVANE_PACKAGE_SECTION utils)
# Qt loads its window-system plugins at run time, so no library link names them.
set(CPACK_DEBIAN_TALVANE_PACKAGE_DEPENDS qt6-qpa-plugins)
# Qt's own buttons and dialogs in the user's language.
set(CPACK_DEBIAN_TALVANE_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_COMPONENT_TALVANE_DESCRIPTION "hash-set flag editor for forensic workstations
Talvane opens a hash database (.hdb) and shows one row per hash set with a
check box for its alert flag: tick or clear the boxes, sort and find the sets
by name, and save the database in place or under a new name. The hashes
themselves are never read or changed.

hdbtool does the same work from scripts: list, change, copy and check hash
databases.")

set(CPACK_DEBIAN_ORDWIN_PACKAGE_NAME velmora-ordwin)
set(CPACK_DEBIAN_ORDWIN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_ORDWIN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Download links and the product page are handed to the desktop through xdg-open.
set(CPACK_DEBIAN_ORDWIN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
set(CPACK_COMPONENT_ORDWIN_DESCRIPTION "update manager for the Velmora workstation products
Ordwin lists the Velmora products, asks the update site for the latest
version and download link of each, and hands the links of the products the
user picks to the web browser. ordwin --check runs the same check without a
window for administrators and scripts.")

set(CPACK_DEBIAN_UPDATE_SITE_PACKAGE_NAME velmora-update-site)
set(CPACK_DEBIAN_UPDATE_SITE_PACKAGE_SECTION net)
set(CPACK_COMPONENT_UPDATE_SITE_DESCRIPTION "reference update site for Ordwin
update_site serves the latest versions and download links that a manifest
file lists, in the reply format Ordwin reads, for administrators who run
their own mirror of the update site.")

set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_component_version.cmake)
include(CPack)
