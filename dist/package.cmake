# The Debian package (`make package`, or cpack in a build folder): the
# programs and everything `cmake --install` lays out, under /usr, with the
# maintainer scripts of dist/debian that make the service's user.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <support@vantrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor of web sites and Internet hosts")
set(CPACK_PACKAGE_DESCRIPTION [=[
Vantrel checks a list of web sites and Internet hosts at their own frequency,
by ICMP ping, by downloading a page and searching it for a text, or by the
greeting of an SMTP, POP3 or FTP server. It keeps each item's response
history and statistics, raises an alarm after failures in a row (a page,
an e-mail, a command, a sound), writes HTML, XML and CSV reports and can
synchronize its items with a web service.

The package holds the window program with its tray icon (vantrel), the
headless monitor and command-line tools (vantrel-cli), a system service
and a user service running the monitor, and the reference web service.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, as dpkg-shlibdeps finds them; adduser
# for the maintainer scripts; PHP only for the reference service.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "php-cli, php-sqlite3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/dist/debian/postinst
    ${PROJECT_SOURCE_DIR}/dist/debian/prerm
    ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The prefix the install rules see is /usr itself (the service units name
# the installed program), the package's tree taking the place of DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
