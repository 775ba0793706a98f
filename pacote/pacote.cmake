# The Debian package: `cmake --workflow --preset pacote` leaves build/pacote/contacel_*.deb.
# Debian wants the manual pages and the changelog compressed with gzip -9n, the licence as
# the copyright file, and the binaries stripped.

# The changelog's latest entry is this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/pacote/changelog contacel_changelog LIMIT_COUNT 1)
if(NOT contacel_changelog MATCHES "^contacel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "pacote/changelog does not begin with version ${PROJECT_VERSION}")
endif()

# The licence as a machine-readable copyright file.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE contacel_licenca)
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) [^\n]*\n\n" "" contacel_licenca
       "${contacel_licenca}")
string(REGEX REPLACE "\n$" "" contacel_licenca "${contacel_licenca}")
string(REGEX REPLACE "\n\n" "\n.\n" contacel_licenca "${contacel_licenca}")
string(REGEX REPLACE "\n" "\n " contacel_licenca "${contacel_licenca}")
file(WRITE ${PROJECT_BINARY_DIR}/pacote/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: contacel

Files: *
Copyright: 2026 contacel developers
License: Expat
 ${contacel_licenca}
")
install(FILES ${PROJECT_BINARY_DIR}/pacote/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(contacel_comprimidos)
foreach(origem IN ITEMS man/contacel.1 man/contacel-clientes.1 man/contacel-exportar.1
                        man/clientes.arq.5 pacote/changelog)
  set(destino ${PROJECT_BINARY_DIR}/pacote/${origem}.gz)
  add_custom_command(OUTPUT ${destino}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/pacote/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${origem} > ${destino}
    DEPENDS ${PROJECT_SOURCE_DIR}/${origem} VERBATIM)
  list(APPEND contacel_comprimidos ${destino})
endforeach()
add_custom_target(contacel_comprimidos ALL DEPENDS ${contacel_comprimidos})
install(FILES ${PROJECT_BINARY_DIR}/pacote/man/contacel.1.gz
              ${PROJECT_BINARY_DIR}/pacote/man/contacel-clientes.1.gz
              ${PROJECT_BINARY_DIR}/pacote/man/contacel-exportar.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/pacote/man/clientes.arq.5.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
install(FILES ${PROJECT_BINARY_DIR}/pacote/pacote/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME contacel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "contacel developers <contacel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monthly phone bills from PBX call records, and a billing simulation")
# CPack puts the summary above this as the synopsis line.
set(CPACK_PACKAGE_DESCRIPTION
"contacel-exportar bills the calls of a PBX's call-detail records (CSV,
gzip) to the customers of a register in exact centavos: the calls and the
bills as CSV, and the bills as PDF documents a customer can file, with the
issuer, the taxes in the price and an optional Pix QR code. Rows it cannot
read are refused or set aside with their reason. contacel-clientes keeps
the customer register (CSV in and out, changes, checks). contacel, the
simulation, generates a month of random calls between five mobile lines
and prints the call list and one bill per customer and month, in
Portuguese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The bills are drawn in DejaVu: another font would change the documents' bytes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
