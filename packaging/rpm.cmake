# The RPM beside the .deb: the same install step fills both, so the RPM holds whatever
# the .deb holds, with the same modes; tests/install_test.sh compares the two and runs
# rpmlint with packaging/rpmlint.toml. Included from CMakeLists.txt before CPack.

# RPM's summary starts with a capital, Debian's synopsis does not.
set(CPACK_RPM_PACKAGE_SUMMARY
  "Add and delete custom label formats of Zentrik label printer drivers")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
# The manual pages and completions work only where the package puts them.
set(CPACK_PACKAGE_RELOCATABLE OFF)
# The manual page folders belong to the system (filesystem, man-db); the RPM owns only
# the folders no system package has, so that they leave with it.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}
  ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1)
# The install step has stripped the program and compressed the manual pages and the
# changelog, as for the .deb; rpmbuild's own steps after it (stripping, compressing,
# rewriting interpreter lines, build-id links, debuginfo) would make the RPM differ
# from the .deb, and differ by the host it is built on.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define __spec_install_post %{nil}
%define debug_package %{nil}
%define _build_id_links none")

# rpm -q --changelog gets the Debian changelog's entries, rewritten the RPM way.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog zk_changelog_lines)
set(zk_rpm_changelog)
set(zk_entry)
foreach(line IN LISTS zk_changelog_lines)
  if(line MATCHES "^zkpapertoollpr \\(([^)]+)\\)")
    set(zk_entry_version ${CMAKE_MATCH_1})
    set(zk_entry)
  elseif(line MATCHES "^  \\* (.*)")
    string(APPEND zk_entry "- ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^    (.*)")
    string(APPEND zk_entry "  ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES
         "^ -- (.+)  ([A-Z][a-z][a-z]), ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
    string(APPEND zk_rpm_changelog "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} "
           "${CMAKE_MATCH_5} ${CMAKE_MATCH_1} - ${zk_entry_version}-1\n${zk_entry}\n")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "packaging/changelog: cannot read this line: ${line}")
  endif()
endforeach()
set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_BINARY_DIR}/rpm-changelog)
file(WRITE ${CPACK_RPM_CHANGELOG_FILE} "${zk_rpm_changelog}")
