# CPack pre-build script for the Debian package: Debian keeps the programs of
# its games section in /usr/games, so the program moves there from bin/ and
# the desktop entry starts it by that path (/usr/games is not on every PATH,
# root's for one). The sound module moves with it to /usr/lib/games/k58, where
# the program looks for it from /usr/games: under /usr/lib/k58 CPack would give
# the package maintainer scripts that call ldconfig for a private module.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
file(MAKE_DIRECTORY ${root}/games)
file(RENAME ${root}/bin/k58 ${root}/games/k58)
file(MAKE_DIRECTORY ${root}/lib/games)
file(RENAME ${root}/lib/k58 ${root}/lib/games/k58)
file(GLOB left ${root}/bin/*)
if(NOT left)
    file(REMOVE_RECURSE ${root}/bin)
endif()

set(desktop ${root}/share/applications/k58.desktop)
file(READ ${desktop} entry)
string(REGEX REPLACE "\nExec=k58\n" "\nExec=${CPACK_PACKAGING_INSTALL_PREFIX}/games/k58\n" moved "${entry}")
if(moved STREQUAL entry)
    message(FATAL_ERROR "the desktop entry has no Exec=k58 line to point at /usr/games")
endif()
file(WRITE ${desktop} "${moved}")
