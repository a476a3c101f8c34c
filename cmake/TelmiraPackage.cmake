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
include(CPack)
