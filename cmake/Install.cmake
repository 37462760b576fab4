# Installation: the module, its siblings and the tool in one module directory (lib/pxm, as
# _binLinux/_binMAC in the build), the public headers, a CMake package and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PXM_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR}/pxm)
set(PXM_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/PXM)

install(DIRECTORY include/pxm DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY host/include/duvirovurozad DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS PXM DuvirovurozAd pxm
        LIBRARY DESTINATION ${PXM_INSTALL_MODULEDIR}
        RUNTIME DESTINATION ${PXM_INSTALL_MODULEDIR})
if(NOT APPLE)
  # The software Core Graphics beside the module, which finds it through its own directory.
  install(TARGETS pxm_coregraphics LIBRARY DESTINATION ${PXM_INSTALL_MODULEDIR})
  install(DIRECTORY platform/software/include/CoreGraphics DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pxm/platform)
endif()
# The tool on the PATH: a link into the module directory, where it finds its modules.
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK ../${PXM_INSTALL_MODULEDIR}/pxm
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/pxm\" SYMBOLIC)")

configure_package_config_file(cmake/PXMConfig.cmake.in ${CMAKE_BINARY_DIR}/PXMConfig.cmake
  INSTALL_DESTINATION ${PXM_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR PXM_INSTALL_MODULEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/PXMConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/PXMConfig.cmake ${CMAKE_BINARY_DIR}/PXMConfigVersion.cmake
        DESTINATION ${PXM_INSTALL_CMAKEDIR})

# Core Graphics for pkg-config hosts: the framework on macOS, else the software library.
if(APPLE)
  set(PXM_PC_GRAPHICS_LIBS "-framework CoreGraphics")
else()
  set(PXM_PC_GRAPHICS_LIBS "-L\${moduledir} -Wl,-rpath,\${moduledir} -lPXMCoreGraphics")
endif()
configure_file(cmake/pxm.pc.in ${CMAKE_BINARY_DIR}/pxm.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/pxm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
