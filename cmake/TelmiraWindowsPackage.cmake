# What a Windows user installs: telmira.exe and telmira-dcc.exe in one folder with what they
# load (the Qt DLLs, the platform plugin and the style, Qt's Russian texts, qt.conf, and the
# MinGW runtime that Qt and the programs share), and the installer that puts that folder into
# Program Files: `cpack -G NSIS` in the build folder (makensis, Debian's nsis package), which
# makes telmira-<version>-win64.exe. `cmake --install` lays out the same folder.

# Qt looks for its plugins and texts beside the program, not where it was built.
file(WRITE "${CMAKE_BINARY_DIR}/qt.conf" "[Paths]\nPrefix=.\n")
install(FILES "${CMAKE_BINARY_DIR}/qt.conf" DESTINATION .)
install(FILES "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>" DESTINATION platforms)
install(FILES "$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>" DESTINATION styles)
# The Qt for Windows has no texts of its own; they are the same files as the host's.
find_file(TELMIRA_QTBASE_RU qtbase_ru.qm
          PATHS "${QT_HOST_PATH}/share/qt6/translations" /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(TELMIRA_QTBASE_RU)
  install(FILES "${TELMIRA_QTBASE_RU}" DESTINATION translations)
else()
  message(STATUS "No qtbase_ru.qm (qt6-translations-l10n): the Windows dialogs stay in English")
endif()

# The DLLs the programs and plugins name, found among Qt's and the compiler's.
set(runtimeDirs "$<TARGET_FILE_DIR:Qt6::Core>")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(found "${found}" REALPATH)
  get_filename_component(folder "${found}" DIRECTORY)
  list(APPEND runtimeDirs "${folder}")
endforeach()
list(REMOVE_DUPLICATES runtimeDirs)
install(CODE "
  set(OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(MODULES \"$<TARGET_FILE:telmira>;$<TARGET_FILE:telmira-dcc>;$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>;$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>\")
  set(FOLDERS \"${runtimeDirs}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/windows/DeployDlls.cmake\")")

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME telmira)
set(CPACK_PACKAGE_VENDOR "telmira")
set(CPACK_PACKAGE_FILE_NAME "telmira-${PROJECT_VERSION}-win64")
set(CPACK_NSIS_PACKAGE_NAME "TELMIRA ver 1.6")
set(CPACK_NSIS_DISPLAY_NAME "telmira")
set(CPACK_STRIP_FILES ON)
# Our own installer script (per-user installs, the .dcc file type), in place of CPack's; what
# it takes besides CPack's own names is passed in names that start as CPack's do.
set(CPACK_MODULE_PATH "${PROJECT_SOURCE_DIR}/cmake/windows")
set(CPACK_TELMIRA_ICON "${PROJECT_SOURCE_DIR}/desktop/windows/telmira.ico")
set(CPACK_TELMIRA_DCC_TYPE "Запись телеметрии telmira")
include(CPack)
