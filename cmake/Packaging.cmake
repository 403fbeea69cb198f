# The Debian package: `cpack -G DEB` in the build folder makes
# velosql_<version>_<architecture>.deb from the install rules of the program (app/) and
# the documentation files below. The package is native (the project makes it itself),
# so its version is the project's and its changelog is changelog.gz.
if(NOT UNIX OR APPLE)
  return()
endif()

set(VELOSQL_PACKAGE_FILES ${PROJECT_SOURCE_DIR}/resources/package)
set(VELOSQL_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/velosql)

# Debian wants the changelog and the manual page compressed, without a time stamp in
# the gzip header so that two builds give the same bytes.
find_program(VELOSQL_GZIP gzip)
function(velosql_gzip source target)
  if(NOT VELOSQL_GZIP)
    message(WARNING "gzip not found: ${target} is left out of the package")
    return()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND ${VELOSQL_GZIP} -9 -n -c ${source} OUTPUT_FILE ${target} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

set(VELOSQL_PACKAGE_BUILD ${PROJECT_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${VELOSQL_PACKAGE_BUILD})
velosql_gzip(${VELOSQL_PACKAGE_FILES}/changelog ${VELOSQL_PACKAGE_BUILD}/changelog.gz)
velosql_gzip(${VELOSQL_PACKAGE_FILES}/VeloSQL.1 ${VELOSQL_PACKAGE_BUILD}/VeloSQL.1.gz)

install(FILES ${VELOSQL_PACKAGE_FILES}/copyright DESTINATION ${VELOSQL_PACKAGE_DOCDIR})
if(VELOSQL_GZIP)
  install(FILES ${VELOSQL_PACKAGE_BUILD}/changelog.gz DESTINATION ${VELOSQL_PACKAGE_DOCDIR})
  install(FILES ${VELOSQL_PACKAGE_BUILD}/VeloSQL.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Debian's hardening asks that a program resolve all its symbols at start, so that
# its relocation table can then be made read-only.
target_link_options(VeloSQL PRIVATE LINKER:-z,now)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velosql)
set(CPACK_PACKAGE_VENDOR "VeloSQL maintainers")
set(CPACK_PACKAGE_CONTACT "VeloSQL maintainers <maintainers@users.noreply.c-seed-fad8707f.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ad hoc SQL queries on a medical practice's database")
# The long description; cpack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop program with a French user interface. A statement typed or chosen
from a remembered list runs against the practice's database: the rows show in
a grid with a record counter, clicked cells gather as captures in an editor,
and the whole result exports to HTML or delimited text, or prints.
.
The database is an embedded SQLite file by default, created with a demo table
at the first start; an alias can name a PostgreSQL or ODBC server
instead.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The libraries the program links come from dpkg-shlibdeps. What Qt loads as plug-ins
# is named here: the SVG image and icon plug-ins draw the program's icons; Qt's
# French translations, xdg-email (mail hand-off) and libsecret (which QtKeychain loads
# to reach the system's keyring) are recommended; the server
# drivers are needed only for an alias that names a server.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils, libsecret-1-0, fonts-urw-base35, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-odbc, odbc-postgresql")

include(CPack)
