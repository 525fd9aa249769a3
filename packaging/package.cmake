# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`make deb`). Paths are relative to CMAKE_INSTALL_PREFIX (/usr by default),
# except the unit, which goes where Debian 12's systemd looks for packaged
# units.

set(velmira_docdir ${CMAKE_INSTALL_DATADIR}/doc/velmira)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)

# Debian wants manual pages and changelogs compressed at the highest level
# and without a time stamp, so equal sources give equal packages.
function(velmira_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
velmira_gzip(${CMAKE_SOURCE_DIR}/packaging/velmira.8 ${packaging_out}/velmira.8.gz)
velmira_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${packaging_out}/changelog.Debian.gz)
add_custom_target(velmira_package_files ALL
  DEPENDS ${packaging_out}/velmira.8.gz ${packaging_out}/changelog.Debian.gz)

install(TARGETS velmira RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/setting.000 DESTINATION ${CMAKE_INSTALL_DATADIR}/velmira)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmira.service DESTINATION /lib/systemd/system)
install(FILES ${packaging_out}/velmira.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
              ${packaging_out}/changelog.Debian.gz
        DESTINATION ${velmira_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmira)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "velmira maintainers <maintainers@velmira.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "school information server")
set(CPACK_PACKAGE_DESCRIPTION
  "One server process for one school: announcements, notes, timetables, menus,
bell schedules and users, kept as text files in one data directory and served
to the school's client applications over a line protocol and HTTP, with an
operator console in the browser.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries it needs, and their versions, come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
