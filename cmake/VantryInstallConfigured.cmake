# Install-time step: writes the files that name installed paths (the systemd unit, vantry.pc) for the
# prefix in force now. The variables come from the install(CODE) block before this script.
set(VANTRY_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(VANTRY_INSTALL_BINDIR "${CMAKE_INSTALL_PREFIX}/${VANTRY_INSTALL_BINDIR_REL}")
foreach(_pair "packaging/lanternfold.service.in|lib/systemd/system/lanternfold.service"
              "cmake/vantry.pc.in|${VANTRY_INSTALL_LIBDIR}/pkgconfig/vantry.pc")
  string(REPLACE "|" ";" _pair "${_pair}")
  list(GET _pair 0 _from)
  list(GET _pair 1 _to)
  set(_to "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_to}")
  message(STATUS "Installing: ${_to}")
  configure_file("${VANTRY_SOURCE_DIR}/${_from}" "${_to}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_to}")
endforeach()
