# Installation: the libraries, the headers hosts include, the programs
# (orrery, orrery-view, orrery-codec-worker), the PDF plug-in, the CMake
# package OrreryCtl and the pkg-config file orreryctl.pc.
#
#   <prefix>/bin/                      orrery, orrery-view, orrery-codec-worker
#   <prefix>/lib/                      liborreryctl.a, liborrery_platform.a, liborreryctl.so,
#                                      liborrery_qt.a, libpagrent.so
#   <prefix>/include/orreryctl/        orrery/orrery.h and what it includes (control/, platform/, ...)
#   <prefix>/lib/cmake/OrreryCtl/      the CMake package
#   <prefix>/lib/pkgconfig/            orreryctl.pc
#   <prefix>/share/applications/       orrery-view.desktop
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORRERY_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/orreryctl")
set(ORRERY_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/OrreryCtl")

# The libraries' use in an installed host: the headers' folder, C++20 and,
# in a sanitized build, the sanitizers' run-time libraries.
target_include_directories(orrery_platform INTERFACE $<INSTALL_INTERFACE:${ORRERY_INSTALL_INCLUDEDIR}>)
target_include_directories(orreryctl_shared INTERFACE $<INSTALL_INTERFACE:${ORRERY_INSTALL_INCLUDEDIR}>)
target_compile_features(orrery_platform INTERFACE cxx_std_20)
target_compile_features(orreryctl_shared INTERFACE cxx_std_20)
set(ORRERY_PC_LINK_OPTIONS "")
if(ORRERY_SANITIZE OR ORRERY_FUZZ)
  target_link_options(orrery_platform INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  target_link_options(orreryctl_shared INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  set(ORRERY_PC_LINK_OPTIONS " -fsanitize=address,undefined")
endif()
set_target_properties(orrery_platform PROPERTIES EXPORT_NAME platform)
set_target_properties(orreryctl_shared PROPERTIES EXPORT_NAME orreryctl_shared)

# Where the library finds the codec worker once installed: liborreryctl.so
# looks from its own folder to the programs' folder, a program linking the
# static library at the installed path.
file(RELATIVE_PATH ORRERY_LIB_TO_BIN "${CMAKE_INSTALL_FULL_LIBDIR}" "${CMAKE_INSTALL_FULL_BINDIR}")
file(RELATIVE_PATH ORRERY_BIN_TO_LIB "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
set_property(SOURCE src/imaging/codec_worker.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "ORRERY_CODEC_WORKER_FROM_LIBRARY=\"${ORRERY_LIB_TO_BIN}\""
  "ORRERY_CODEC_WORKER_INSTALL_PATH=\"${CMAKE_INSTALL_FULL_BINDIR}/orrery-codec-worker\"")
# The installed programs and liborreryctl.so open the PDF plug-in from the
# library folder.
set_target_properties(orrery PROPERTIES INSTALL_RPATH "$ORIGIN/${ORRERY_BIN_TO_LIB}")
set_target_properties(orreryctl_shared PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS orrery orrery-codec-worker RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS orreryctl orrery_platform orreryctl_shared EXPORT OrreryCtlTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT OrreryCtlTargets NAMESPACE OrreryCtl:: DESTINATION ${ORRERY_INSTALL_CMAKEDIR})
if(TARGET pagrent)
  install(TARGETS pagrent LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(ORRERY_HEADER_ROOTS)
file(GLOB_RECURSE ORRERY_PUBLIC_HEADERS RELATIVE "${CMAKE_SOURCE_DIR}/include" CONFIGURE_DEPENDS
     "${CMAKE_SOURCE_DIR}/include/*.h")
foreach(header IN LISTS ORRERY_PUBLIC_HEADERS)
  # OrreryWidget's header only where its library is installed.
  if(NOT header MATCHES "^orrery/qt/" OR TARGET orrery_qt)
    list(APPEND ORRERY_HEADER_ROOTS "${header}")
  endif()
endforeach()
install(CODE "set(ORRERY_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
set(ORRERY_HEADER_ROOTS \"${ORRERY_HEADER_ROOTS}\")
set(ORRERY_HEADER_DESTINATION \"${ORRERY_INSTALL_INCLUDEDIR}\")
include(\"${CMAKE_SOURCE_DIR}/cmake/install_headers.cmake\")")

if(TARGET orrery_qt)
  target_include_directories(orrery_qt INTERFACE $<INSTALL_INTERFACE:${ORRERY_INSTALL_INCLUDEDIR}>)
  set_target_properties(orrery_qt PROPERTIES EXPORT_NAME qt)
  set_target_properties(orrery-view PROPERTIES INSTALL_RPATH "$ORIGIN/${ORRERY_BIN_TO_LIB}")
  install(TARGETS orrery_qt EXPORT OrreryCtlQtTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(EXPORT OrreryCtlQtTargets NAMESPACE OrreryCtl:: DESTINATION ${ORRERY_INSTALL_CMAKEDIR})
endif()

configure_package_config_file(cmake/OrreryCtlConfig.cmake.in "${CMAKE_BINARY_DIR}/OrreryCtlConfig.cmake"
                              INSTALL_DESTINATION ${ORRERY_INSTALL_CMAKEDIR})
write_basic_package_version_file("${CMAKE_BINARY_DIR}/OrreryCtlConfigVersion.cmake"
                                 COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_BINARY_DIR}/OrreryCtlConfig.cmake" "${CMAKE_BINARY_DIR}/OrreryCtlConfigVersion.cmake"
        DESTINATION ${ORRERY_INSTALL_CMAKEDIR})

# orreryctl.pc, relocatable: its prefix is found from its own folder.
file(RELATIVE_PATH ORRERY_PC_PREFIX_FROM_PCDIR "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ORRERY_PC_PREFIX_FROM_PCDIR "${ORRERY_PC_PREFIX_FROM_PCDIR}")
string(JOIN " " ORRERY_PC_REQUIRES ${ORRERYCTL_IMAGING_MODULES} ${ORRERYCTL_METAFILE_MODULES} ${ORRERYCTL_CURL_MODULES})
set(CMAKE_DL_LIBS_FLAG "")
if(CMAKE_DL_LIBS)
  set(CMAKE_DL_LIBS_FLAG "-l${CMAKE_DL_LIBS}")
endif()
configure_file(cmake/orreryctl.pc.in "${CMAKE_BINARY_DIR}/orreryctl.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/orreryctl.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The install test installs this build: what it installs is built first.
if(TARGET install_test)
  add_dependencies(install_test orrery orrery-codec-worker orreryctl orrery_platform orreryctl_shared)
  if(TARGET orrery_qt)
    add_dependencies(install_test orrery_qt orrery-view)
  endif()
  if(TARGET pagrent)
    add_dependencies(install_test pagrent)
  endif()
endif()
