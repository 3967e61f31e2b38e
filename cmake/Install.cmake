# Installation and the Debian package of the suite.
#
# Every install() rule of the project lives here and names its target, so that the folders that
# build the programs keep to building; a target that does not exist (yet) is skipped.
#   cmake --install BUILD_DIR [--prefix /usr]      install on this machine
#   cpack --config BUILD_DIR/CPackConfig.cmake     make the Debian package vrkt7x_<version>_<arch>.deb
#
# The programs use fixed places, and those decide the layout (both set in cmake/InstallPaths.cmake,
# which hands them to the code through the generated header InstallPaths.h):
#   - fpmanager loads the library by the unversioned name libvrkt7xcommon.so from /usr/lib,
#     /usr/lib64 or /usr/lib/<multiarch> (VRKT_LIBRARY_LOCATIONS);
#   - fpmanager keeps its database and settings, and the library its sm.conf, in /usr/share/vrkt7x
#     (VRKT_FIXED_DATA_DIR).
# So the install prefix is /usr unless one is given: under /usr/local the programs would not find
# their files.

# /usr/local, CMake's default, is taken to mean "not chosen"; a staging install can still use
# cmake --install --prefix DIR.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(CMAKE_INSTALL_PREFIX "/usr" CACHE PATH "Install path prefix, prepended onto install directories." FORCE)
  include(GNUInstallDirs) # the library folder of the new prefix: lib/<multiarch> on Debian
endif()

set(VRKT_DATA_DIR "${CMAKE_INSTALL_DATADIR}/vrkt7x")
set(VRKT_CATALOGUE_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/qt6/translations")
set(VRKT_PACKAGE_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/vrkt7x")
set(VRKT_UDEV_RULES_DIR "lib/udev/rules.d")
set(VRKT_CMAKE_PACKAGE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/vrkt7xcommon")
set(VRKT_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(VRKT_PACKAGING_BINARY_DIR "${PROJECT_BINARY_DIR}/packaging")
set(VRKT_PACKAGE_PREFIX "/usr") # of the Debian package

# The unversioned library link must land where fpmanager looks for it, the data folder where the
# programs keep their files, the message catalogues where the windows look for them.
foreach(_prefix IN ITEMS "${CMAKE_INSTALL_PREFIX}" "${VRKT_PACKAGE_PREFIX}")
  cmake_path(APPEND _prefix "${CMAKE_INSTALL_LIBDIR}" "libvrkt7xcommon.so" OUTPUT_VARIABLE _link)
  cmake_path(APPEND _prefix "${VRKT_DATA_DIR}" OUTPUT_VARIABLE _data)
  cmake_path(APPEND _prefix "${VRKT_CATALOGUE_INSTALL_DIR}" OUTPUT_VARIABLE _catalogues)
  if(NOT _link IN_LIST VRKT_LIBRARY_LOCATIONS OR NOT _data STREQUAL VRKT_FIXED_DATA_DIR
     OR NOT _catalogues STREQUAL VRKT_TRANSLATIONS_DIR)
    if(_prefix STREQUAL VRKT_PACKAGE_PREFIX)
      set(_level WARNING) # the Debian package would be broken
    else()
      set(_level STATUS)
    endif()
    message(${_level} "Installed under the prefix ${_prefix}, the library link ${_link}, the data "
      "folder ${_data} or the catalogues ${_catalogues} are not where the programs look for them "
      "(${VRKT_FIXED_DATA_DIR}, ${VRKT_TRANSLATIONS_DIR}); "
      "cmake --install wants --prefix /usr.")
  endif()
endforeach()

# --- libvrkt7xcommon: the library, its header, a pkg-config file and a CMake package -----------
if(TARGET vrkt7xcommon)
  # The unversioned link (namelink) is installed with the library: fpmanager loads it at run time.
  install(TARGETS vrkt7xcommon EXPORT vrkt7xcommonTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES
    ${PROJECT_SOURCE_DIR}/libvrkt7xcommon/include/vrkt7xcommon.h
    ${PROJECT_SOURCE_DIR}/libvrkt7xcommon/include/vrkt7xexport.h
    ${PROJECT_SOURCE_DIR}/libvrkt7xcommon/include/vrkt7xsystem.h
    ${PROJECT_SOURCE_DIR}/libvrkt7xcommon/include/vrkt7xuri.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

  install(EXPORT vrkt7xcommonTargets NAMESPACE vrkt7xcommon:: DESTINATION ${VRKT_CMAKE_PACKAGE_DIR})
  include(CMakePackageConfigHelpers)
  configure_package_config_file(${VRKT_PACKAGING_DIR}/vrkt7xcommonConfig.cmake.in
    ${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommonConfig.cmake
    INSTALL_DESTINATION ${VRKT_CMAKE_PACKAGE_DIR})
  write_basic_package_version_file(${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommonConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES
    ${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommonConfig.cmake
    ${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommonConfigVersion.cmake
    DESTINATION ${VRKT_CMAKE_PACKAGE_DIR})

  # pkg-config: paths relative to the .pc file, right under any prefix and in a staging tree.
  file(RELATIVE_PATH VRKT_PC_PREFIX_FROM_PCDIR "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" VRKT_PC_PREFIX_FROM_PCDIR "${VRKT_PC_PREFIX_FROM_PCDIR}")
  configure_file(${VRKT_PACKAGING_DIR}/vrkt7xcommon.pc.in ${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommon.pc @ONLY)
  install(FILES ${VRKT_PACKAGING_BINARY_DIR}/vrkt7xcommon.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# --- programs and their manual pages ----------------------------------------------------------
set(_vrkt_manpages "")
foreach(_program IN ITEMS fpmanager fpverify fpctl vrkt7x-usblist vrkt7x-agent)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(_page ${VRKT_PACKAGING_BINARY_DIR}/man/${_program}.1.gz)
    add_custom_command(OUTPUT ${_page}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${VRKT_PACKAGING_DIR}/man/${_program}.1 -DOUTPUT=${_page}
              -P ${VRKT_PACKAGING_DIR}/gzip.cmake
      DEPENDS ${VRKT_PACKAGING_DIR}/man/${_program}.1 ${VRKT_PACKAGING_DIR}/gzip.cmake
      VERBATIM)
    list(APPEND _vrkt_manpages ${_page})
    install(FILES ${_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

# --- the windows' message catalogues (translations/), where the programs look for them ----------
get_property(_vrkt_catalogues GLOBAL PROPERTY VRKT_CATALOGUE_FILES)
if(_vrkt_catalogues)
  install(FILES ${_vrkt_catalogues} DESTINATION ${VRKT_CATALOGUE_INSTALL_DIR})
endif()

# --- fpmanager in the desktop's menu: desktop entry and hicolor icons --------------------------
if(TARGET fpmanager)
  install(FILES ${VRKT_PACKAGING_DIR}/fpmanager.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # The icons are the pictures of fpmanager's own application icon (FingerManage.ico, drawn by
  # fpmanager_artwork into FPMANAGER_IMAGE_DIR), one PNG per size.
  get_directory_property(_fpmanager_images DIRECTORY ${PROJECT_SOURCE_DIR}/fpmanager
    DEFINITION FPMANAGER_IMAGE_DIR)
  if(_fpmanager_images AND TARGET fpmanager_ui)
    add_executable(vrkt7x_hicolor_icons ${VRKT_PACKAGING_DIR}/icons/HicolorIcons.cpp)
    target_link_libraries(vrkt7x_hicolor_icons PRIVATE Qt6::Gui vrkt_build_flags)
    set(VRKT_ICON_DIR ${VRKT_PACKAGING_BINARY_DIR}/icons)
    add_custom_command(OUTPUT ${VRKT_ICON_DIR}/icons.stamp
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${VRKT_ICON_DIR}/hicolor
      COMMAND vrkt7x_hicolor_icons ${_fpmanager_images}/FingerManage.ico ${VRKT_ICON_DIR} fpmanager
      COMMAND ${CMAKE_COMMAND} -E touch ${VRKT_ICON_DIR}/icons.stamp
      DEPENDS vrkt7x_hicolor_icons ${_fpmanager_images}/FingerManage.ico
      COMMENT "Unpacking fpmanager's icon into hicolor sizes"
      VERBATIM)
    add_custom_target(vrkt7x_icons ALL DEPENDS ${VRKT_ICON_DIR}/icons.stamp)
    add_dependencies(vrkt7x_icons fpmanager_ui) # builds FingerManage.ico
    install(DIRECTORY ${VRKT_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  else()
    message(STATUS "fpmanager draws no FingerManage.ico (FPMANAGER_IMAGE_DIR): no icons for the desktop entry")
  endif()
endif()

# --- printing with fingerprint authentication: the CUPS backend and the desktop agent -----------
# CUPS runs a backend that only its owner may read and execute as root, which the library needs to
# reach USB printers and the agent needs from its peer. Its folder is CUPS's own, not multiarch.
if(TARGET vrkt7x-backend)
  install(TARGETS vrkt7x-backend RUNTIME DESTINATION lib/cups/backend
    PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endif()
if(TARGET vrkt7x-agent)
  # Started in every desktop session (XDG autostart).
  install(FILES ${VRKT_PACKAGING_DIR}/vrkt7x-agent.desktop DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart)
endif()

# --- shared data folder and USB access --------------------------------------------------------
# /usr/share/vrkt7x is installed empty and plain (0755 root:root). The package's postinst hands
# it to root:vrkt7x with mode 2775 (a dpkg statoverride): the members of vrkt7x may create and
# replace the database and settings there; see README.md, "Installing".
install(DIRECTORY DESTINATION ${VRKT_DATA_DIR})
install(FILES ${VRKT_PACKAGING_DIR}/70-vrkt7x.rules DESTINATION ${VRKT_UDEV_RULES_DIR})

# --- documentation ----------------------------------------------------------------------------
set(VRKT_DEB_RELEASE 1)
set(VRKT_DEB_VERSION "${PROJECT_VERSION}-${VRKT_DEB_RELEASE}")
set(VRKT_DEB_MAINTAINER "vrkt7x developers <vrkt7x@vrkt7x.invalid>")
configure_file(${VRKT_PACKAGING_DIR}/debian/changelog.in ${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -DINPUT=${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian
          -DOUTPUT=${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian.gz -P ${VRKT_PACKAGING_DIR}/gzip.cmake
  DEPENDS ${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian ${VRKT_PACKAGING_DIR}/gzip.cmake
  VERBATIM)
add_custom_target(vrkt7x_package_docs ALL DEPENDS ${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian.gz ${_vrkt_manpages})
install(FILES
  ${VRKT_PACKAGING_DIR}/debian/copyright
  ${VRKT_PACKAGING_BINARY_DIR}/changelog.Debian.gz
  DESTINATION ${VRKT_PACKAGE_DOC_DIR})
install(FILES ${VRKT_PACKAGING_DIR}/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vrkt7x)

# The packaging test installs everything; what is made here must be built before it.
if(TARGET tst_packaging_build)
  add_dependencies(tst_packaging_build vrkt7x_package_docs)
  if(TARGET vrkt7x_icons)
    add_dependencies(tst_packaging_build vrkt7x_icons)
  endif()
endif()

# --- the Debian package -----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrkt7x)
set(CPACK_PACKAGE_VENDOR "The vrkt7x developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fingerprint print authentication for ZPH6100RMX printers")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${VRKT_PACKAGING_DIR}/debian/description.txt)
set(CPACK_PACKAGING_INSTALL_PREFIX ${VRKT_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VRKT_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VRKT_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries the programs link come from dpkg-shlibdeps. Added by hand: Qt's SQLite driver (a
# plugin, loaded by name), lpstat (the library asks it whether a printer is printing before it
# opens the printer), adduser (postinst). A font with Chinese glyphs for the windows' texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, cups-client, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
# shlibs file for programs that link the library; the triggers file runs ldconfig; the autostart
# entry under /etc is a conffile (an administrator's edit survives upgrades).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${VRKT_PACKAGING_DIR}/debian/postinst
  ${VRKT_PACKAGING_DIR}/debian/postrm
  ${VRKT_PACKAGING_DIR}/debian/triggers
  ${VRKT_PACKAGING_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
