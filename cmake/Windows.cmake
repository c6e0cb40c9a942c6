# The Windows build (cross-built with MinGW-w64, see cmake/windows-x86_64.cmake
# and scripts/windows): Windows 10 API level, no min/max macros, the
# libraries' CMake packages from scripts/windows' prefixes, and test programs
# run under wine64 with the DLLs they need on the path.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX WIN32_LEAN_AND_MEAN UNICODE
                        _UNICODE)

# The DLLs every program needs at run time: MinGW's C++ runtime and Qt's.
set(VELMORA_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "MinGW runtime ${dll} not found (${path})")
  endif()
  list(APPEND VELMORA_MINGW_RUNTIME ${path})
endforeach()

# wine64 runs the test programs (CMAKE_CROSSCOMPILING_EMULATOR): in a Wine
# prefix of its own (VELMORA_WINEPREFIX, made by scripts/windows), quiet, with
# the MinGW runtime and Qt's DLLs and plugins found through WINEPATH and
# QT_PLUGIN_PATH (Windows paths: Wine shows / as Z:).
set(VELMORA_WINEPREFIX "$ENV{HOME}/.cache/velmora-win/wine" CACHE PATH "Wine prefix of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
set(VELMORA_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH
    "Where Qt's translations are (Debian's qt6-translations-l10n)")
if(NOT EXISTS ${VELMORA_QT_TRANSLATIONS}/qtbase_it.qm)
  message(FATAL_ERROR "${VELMORA_QT_TRANSLATIONS}/qtbase_it.qm is missing: install qt6-translations-l10n")
endif()

# Writes the emulator once Qt is found (its DLLs and plugins are on the path).
function(velmora_write_wine_run)
  get_target_property(qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(qt_bin ${qt_core} DIRECTORY)
  get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
  set(dirs ${qt_bin})
  foreach(dll IN LISTS VELMORA_MINGW_RUNTIME)
    get_filename_component(dir ${dll} DIRECTORY)
    list(APPEND dirs ${dir})
  endforeach()
  list(REMOVE_DUPLICATES dirs)
  set(windows_dirs)
  foreach(dir IN LISTS dirs)
    string(REPLACE "/" "\\" dir "Z:${dir}")
    list(APPEND windows_dirs "${dir}")
  endforeach()
  list(JOIN windows_dirs ";" VELMORA_WINEPATH)
  string(REPLACE "/" "\\" VELMORA_QT_PLUGINS "Z:${qt_prefix}/plugins")
  # Qt's Italian texts (qtbase_it.qm) come from Debian's
  # qt6-translations-l10n: a qt.conf beside the programs and the tests points
  # Qt there, its plugins staying in the prefix.
  # (A qt.conf is an INI file: its backslashes would be escapes.)
  foreach(dir ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests)
    file(WRITE ${dir}/qt.conf
         "[Paths]\nPrefix=Z:${qt_prefix}\nTranslations=Z:${VELMORA_QT_TRANSLATIONS}\n")
  endforeach()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endfunction()

# The program's icon and version resource (packaging/windows/velmora.rc.in).
enable_language(RC)
