# The fixed places the programs use, in one place for the code and the install rules: the code gets
# them as macros from the generated header InstallPaths.h (target vrkt_install_paths), and
# cmake/Install.cmake lays the installation out after them.
#   VRKT_FIXED_DATA_DIR      fpmanager's database and settings, the library's sm.conf
#   VRKT_LIBRARY_LOCATIONS   where fpmanager looks for libvrkt7xcommon.so, in this order
#   VRKT_TRANSLATIONS_DIR    the windows' message catalogues (fpmanager_en.qm, fpverify_en.qm):
#                            Qt's own folder, beside its qtbase_*.qm. Not under the data folder,
#                            which its group may write to: a catalogue swapped there would put its
#                            texts into every user's fpverify.
set(VRKT_FIXED_DATA_DIR "/usr/share/vrkt7x")
set(VRKT_TRANSLATIONS_DIR "/usr/share/qt6/translations")
set(VRKT_LIBRARY_LOCATIONS
  /usr/lib/libvrkt7xcommon.so
  /usr/lib64/libvrkt7xcommon.so
  /usr/lib/x86_64-linux-gnu/libvrkt7xcommon.so
  /usr/lib/aarch64-linux-gnu/libvrkt7xcommon.so
  /usr/lib/i386-linux-gnu/libvrkt7xcommon.so)

list(JOIN VRKT_LIBRARY_LOCATIONS "\", \"" VRKT_LIBRARY_LOCATIONS_C)
set(VRKT_LIBRARY_LOCATIONS_C "\"${VRKT_LIBRARY_LOCATIONS_C}\"")
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallPaths.h.in ${PROJECT_BINARY_DIR}/generated/InstallPaths.h @ONLY)
add_library(vrkt_install_paths INTERFACE)
target_include_directories(vrkt_install_paths INTERFACE $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
