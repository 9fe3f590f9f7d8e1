# Installation of the library, its headers and the programs, the CMake package (Vantry::vantry), the
# pkg-config file, the harvester's systemd unit and the manual pages, in three components that become
# the three Debian packages (cmake/VantryDebian.cmake): harvester (lanternfold), fetch (vantry-get) and
# dev (libvantry-dev). A plain cmake --install installs all three.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VANTRY_VERSION 1.0.0)
set(VANTRY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantry)

# The library's include path holds absolute source paths for the build; the installed package points at
# include/vantry (so the headers' own "core/..." includes work) and at include (for "vantry/http/...").
get_target_property(_vantry_includes vantry INTERFACE_INCLUDE_DIRECTORIES)
set(_vantry_interface_includes)
foreach(_dir IN LISTS _vantry_includes)
  list(APPEND _vantry_interface_includes "$<BUILD_INTERFACE:${_dir}>")
endforeach()
list(APPEND _vantry_interface_includes "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vantry>"
     "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
set_property(TARGET vantry PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${_vantry_interface_includes})

# Libraries linked by absolute path (find_library results) become imported targets that the package's
# config file finds again on the installing machine, instead of paths of the build machine.
get_target_property(_vantry_links vantry INTERFACE_LINK_LIBRARIES)
set(_vantry_interface_links)
set(VANTRY_FOUND_LIBRARIES)
foreach(_lib IN LISTS _vantry_links)
  if(IS_ABSOLUTE "${_lib}")
    get_filename_component(_name "${_lib}" NAME_WE)
    string(REGEX REPLACE "^lib" "" _name "${_name}")
    list(APPEND VANTRY_FOUND_LIBRARIES ${_name})
    list(APPEND _vantry_interface_links "$<BUILD_INTERFACE:${_lib}>" "$<INSTALL_INTERFACE:Vantry::lib_${_name}>")
  else()
    list(APPEND _vantry_interface_links "${_lib}")
  endif()
endforeach()
set_property(TARGET vantry PROPERTY INTERFACE_LINK_LIBRARIES ${_vantry_interface_links})

install(TARGETS vantry EXPORT VantryTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantry COMPONENT dev
        FILES_MATCHING PATTERN "*.h"
        PATTERN "harvester" EXCLUDE
        PATTERN "tools" EXCLUDE)
install(EXPORT VantryTargets NAMESPACE Vantry:: DESTINATION ${VANTRY_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/VantryConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/VantryConfig.cmake INSTALL_DESTINATION ${VANTRY_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VantryConfigVersion.cmake VERSION ${VANTRY_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VantryConfig.cmake ${CMAKE_BINARY_DIR}/VantryConfigVersion.cmake
        DESTINATION ${VANTRY_CMAKE_DIR} COMPONENT dev)

# pkg-config: the library is static, so its dependencies stand in Libs and Requires, not in .private.
set(VANTRY_PC_REQUIRES "openssl")
foreach(_name IN LISTS VANTRY_FOUND_LIBRARIES)
  if(_name STREQUAL "idn2")
    string(APPEND VANTRY_PC_REQUIRES " libidn2")
  elseif(_name STREQUAL "pugixml")
    string(APPEND VANTRY_PC_REQUIRES " pugixml")
  elseif(_name STREQUAL "psl")
    string(APPEND VANTRY_PC_REQUIRES " libpsl")
  endif()
endforeach()

# Each program with its manual page (gzip-compressed, as Debian keeps them), in its own component.
set(VANTRY_COMPONENTS dev)
foreach(_entry "lanternfold|harvester|8" "vantry-get|fetch|1")
  string(REPLACE "|" ";" _entry "${_entry}")
  list(GET _entry 0 _program)
  list(GET _entry 1 _component)
  list(GET _entry 2 _section)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${_component})
    install(CODE "include(\"${CMAKE_SOURCE_DIR}/cmake/VantryInstallConfigured.cmake\")
  vantry_install_man(\"${CMAKE_SOURCE_DIR}/packaging/man/${_program}.${_section}\"
                     \"${CMAKE_INSTALL_MANDIR}/man${_section}\")" COMPONENT ${_component})
    list(APPEND VANTRY_COMPONENTS ${_component})
  endif()
endforeach()

# The unit names the installed harvester and vantry.pc the installed library, so both are written at
# install time, when the prefix is known (cmake --install --prefix, or CPack's /usr). The unit goes with
# the harvester's component (also when the harvester is not built, so that the unit can be checked).
set(_vantry_install_vars "
  set(VANTRY_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
  set(VANTRY_INSTALL_BINDIR_REL \"${CMAKE_INSTALL_BINDIR}\")
  set(VANTRY_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VANTRY_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VANTRY_VERSION \"${VANTRY_VERSION}\")
  set(VANTRY_PC_REQUIRES \"${VANTRY_PC_REQUIRES}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/VantryInstallConfigured.cmake\")")
install(CODE "${_vantry_install_vars}
  vantry_install_configured(packaging/lanternfold.service.in lib/systemd/system/lanternfold.service)"
        COMPONENT harvester)
install(CODE "${_vantry_install_vars}
  vantry_install_configured(cmake/vantry.pc.in \${VANTRY_INSTALL_LIBDIR}/pkgconfig/vantry.pc)" COMPONENT dev)
list(APPEND VANTRY_COMPONENTS harvester)
list(REMOVE_DUPLICATES VANTRY_COMPONENTS)

include(${CMAKE_SOURCE_DIR}/cmake/VantryDebian.cmake)
