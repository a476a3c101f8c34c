# The Debian package: `cpack -G DEB` in the build folder, or the "package" target. Its
# dependencies on libraries are computed from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telmira)
set(CPACK_PACKAGE_CONTACT
    "telmira maintainers <maintainers@users.noreply.c-seed-e180a613.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "records and plots the telemetry of an engine ignition controller")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "telmira watches the serial stream of an engine ignition controller, writes every\n"
    "byte into a .dcc recording, plots six quantities on a line chart, shows five of\n"
    "them on dial gauges and replays recordings onto the chart. telmira-dcc reads\n"
    "recordings without the window (CSV lines, a summary, the chart as a picture);\n"
    "telmira-sim simulates the controller.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Russian texts for the file dialogs and message boxes; the program runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

# The copyright file Debian keeps with every package, in its machine-readable form, made from
# LICENSE: its holder and year, and its text, which Debian calls the Expat licence.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission is hereby granted.*)$")
  message(FATAL_ERROR "LICENSE is not the MIT licence with its copyright line")
endif()
set(copyrightHolder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" licenceText)
# Each line of a field's text is indented by a space, and an empty line is a lone ".".
string(REPLACE "\n\n" "\n.\n" licenceText "${licenceText}")
string(REPLACE "\n" "\n " licenceText "${licenceText}")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/copyright" CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: telmira

Files: *
Copyright: ${copyrightHolder}
License: Expat
 ${licenceText}
]])
install(FILES "${CMAKE_BINARY_DIR}/generated/copyright" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

include(CPack)
