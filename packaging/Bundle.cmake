# The folder carries Qt, libcurl and everything they need in lib/, so that it starts on a
# desktop where neither is installed. What every desktop has, and what must match the
# machine's own drivers and session, stays the system's.

# Qt loads these by name, so no linker sees them: X11 and Wayland, the GL integrations
# for both, input methods, and image formats. One plugin a line, below Qt's plugin folder.
set(VELLUMET_QT_PLUGINS
    platforms/libqxcb.so
    xcbglintegrations/libqxcb-glx-integration.so
    xcbglintegrations/libqxcb-egl-integration.so
    platforms/libqwayland-generic.so
    platforms/libqwayland-egl.so
    wayland-shell-integration/libxdg-shell.so
    wayland-decoration-client/libbradient.so
    wayland-graphics-integration-client/libqt-plugin-wayland-egl.so
    platforminputcontexts/libcomposeplatforminputcontextplugin.so
    platforminputcontexts/libibusplatforminputcontextplugin.so
    imageformats/libqgif.so
    imageformats/libqico.so
    imageformats/libqjpeg.so
)

# The system's own: the C and C++ runtimes (a bundled one would not match the loader), the
# GL stack and the X11 and Wayland client libraries that the GPU driver is built against,
# and the font, text-shaping and session-bus libraries every desktop has. Sonames.
set(VELLUMET_SYSTEM_LIBRARIES
    "^ld-linux" "^libc\\.so" "^libm\\.so" "^libdl\\.so" "^libpthread\\.so" "^librt\\.so"
    "^libresolv\\.so" "^libutil\\.so" "^libanl\\.so" "^libnsl\\.so"
    "^libstdc\\+\\+\\.so" "^libgcc_s\\.so"
    "^libGL" "^libEGL\\.so" "^libOpenGL\\.so" "^libdrm\\.so" "^libgbm\\.so" "^libvulkan\\.so"
    "^libX11\\.so" "^libX11-xcb\\.so" "^libxcb\\.so"
    "^libxcb-(dri2|dri3|glx|present|sync|xfixes|randr|shm)\\.so" "^libwayland-"
    "^libfontconfig\\.so" "^libfreetype\\.so" "^libharfbuzz\\.so" "^libfribidi\\.so"
    "^libexpat\\.so" "^libz\\.so" "^libdbus-1\\.so"
)

set(pluginFolder ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
foreach(plugin IN LISTS VELLUMET_QT_PLUGINS)
    if(NOT EXISTS ${pluginFolder}/${plugin})
        message(FATAL_ERROR "The Qt plugin ${pluginFolder}/${plugin} is missing; scripts/setup "
                            "build installs it")
    endif()
    # An imported target per plugin, so that its libraries join the dependency set.
    string(MAKE_C_IDENTIFIER "vellumet_plugin_${plugin}" name)
    add_library(${name} MODULE IMPORTED)
    set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${pluginFolder}/${plugin})
    get_filename_component(category ${plugin} DIRECTORY)
    install(IMPORTED_RUNTIME_ARTIFACTS ${name} RUNTIME_DEPENDENCY_SET vellumet_runtime
        LIBRARY DESTINATION plugins/${category})
endforeach()

install(RUNTIME_DEPENDENCY_SET vellumet_runtime
    PRE_EXCLUDE_REGEXES ${VELLUMET_SYSTEM_LIBRARIES}
    DESTINATION lib)

# Without it Qt looks in the system's plugin folder first and mixes the two Qt builds.
install(FILES qt.conf DESTINATION .)

# Every library shipped goes with its licence and copyright notice.
configure_file(licenses-README.txt.in ${CMAKE_CURRENT_BINARY_DIR}/licenses-README.txt @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/licenses-README.txt DESTINATION licenses
    RENAME README.txt)
install(SCRIPT CollectLicenses.cmake)
