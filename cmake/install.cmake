# What an installation holds, and the packages made of it (CPack): included at the end
# of the top-level CMakeLists.txt, once every directory has declared its targets.
#
#   portable build: the programs in bin/, their manual pages, the README and the
#     walkthrough in share/doc/pwexe; `cpack` makes the Debian package
#     pwexe_<version>_amd64.deb. Build it from the `package` preset: the programs of a
#     build with tests read fault-injection settings that nothing shipped may read.
#   Windows build: the programs, the Windows DLLs other directories ship and the README
#     at the top of a zip, pwexe-<version>-win32.zip (win64 from the 64-bit build), the
#     enrolment components for Wine prefixes in its wine/ folder; pwexe.exe carries its
#     version record.
#
# Directories add to what ships through global properties:
#   PW_SHIPPED_WINDOWS_DLLS  DLL targets of the Windows build
#   PW_MACHINE_PROGRAMS      programs the emulated machine installs into its own system
#                            folder at first boot; installed into lib/pwexe
include(GNUInstallDirs)

set(PW_SHIPPED_PROGRAMS pwexe pwmachine pwcmd)

if(WIN32)
  install(TARGETS ${PW_SHIPPED_PROGRAMS} RUNTIME DESTINATION .)
  get_property(pw_dlls GLOBAL PROPERTY PW_SHIPPED_WINDOWS_DLLS)
  if(pw_dlls)
    install(TARGETS ${pw_dlls} RUNTIME DESTINATION . LIBRARY DESTINATION .)
  endif()
  # The enrolment components serve Wine prefixes, which have none of their own. Windows
  # has its own under the same class identifiers, which these must never replace: they
  # ship apart from the programs, in wine/, with a word on what they are for.
  foreach(dll IN ITEMS pwenrol_control pwenrol_objects)
    if(TARGET ${dll})
      install(FILES $<TARGET_FILE:${dll}> DESTINATION wine)
      set(pw_wine_components ON)
    endif()
  endforeach()
  if(pw_wine_components)
    install(FILES doc/wine-components.txt DESTINATION wine RENAME README.txt)
  endif()
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  install(TARGETS ${PW_SHIPPED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  get_property(pw_machine_programs GLOBAL PROPERTY PW_MACHINE_PROGRAMS)
  if(pw_machine_programs)
    # lib/pwexe beside bin/, where first boot looks for them (not the multiarch libdir).
    install(TARGETS ${pw_machine_programs} RUNTIME DESTINATION lib/pwexe)
  endif()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(PROGRAMS examples/walkthrough.sh DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  # The manual pages, compressed as Debian keeps them.
  foreach(page IN LISTS PW_MANUAL_PAGES)
    string(REGEX MATCH "[0-9]$" section ${page})
    install(FILES ${PW_MANUAL_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endforeach()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are what the installed programs really load, as dpkg-shlibdeps
  # finds them: the release programs carry SQLite, OpenSSL and the C++ runtime inside.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The walkthrough's certification authority is made with the openssl program.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS openssl)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME pwexe)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora Portwyn team <portwyn@velmora.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Debian shows the summary as the package's one-line synopsis and the description below
# it; each is one string (a CMake list would put ';' into the text), lines under 80.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "privileged helper of the Portwyn gateway client, on an emulated workstation")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "pwexe carries out one command of the Portwyn gateway client per run:\n"
    "registry values, hardware identifiers, certificate enrolment and removal,\n"
    "private-key checks and rights commands. This build runs it on an emulated\n"
    "Windows workstation kept under a machine root (SQLite hives, OpenSSL), for\n"
    "client test suites; pwmachine administers that machine and pwcmd builds the\n"
    "client's command texts.")
set(CPACK_STRIP_FILES ON)
include(CPack)
