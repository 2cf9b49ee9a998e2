# `make package`: Debian packages made with CPack from the install rules.
#   dodevuz     the command line (dodevuz, and dodevuz-serve that runs
#               `dodevuz serve`), its manual page, the sample data and the
#               romaji table (component cli)
#   dodevuz-qt  the desktop program, its desktop entry and icon (component
#               qt); it starts with the sample data of dodevuz
# Written to build/packages/. Installed under /usr, whatever the build's own
# install prefix.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dodevuz)
set(CPACK_PACKAGE_VENDOR "Dodevuz developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Only the components named here: an install rule without one is not packaged.
set(CPACK_COMPONENTS_ALL cli)
if(build_qt)
  list(APPEND CPACK_COMPONENTS_ALL qt)
endif()

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dodevuz developers")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME dodevuz)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION text)
# kanjidic gives the kanji details, fonts-kanjistrokeorders the reading
# page's stroke-order drawing of each kanji.
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "edict, kanjidic, fonts-kanjistrokeorders")
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "Japanese-to-English reading aid (command line)
Dodevuz lists a Japanese passage with every dictionary word followed by its
entry (headword, kana reading, English glosses), spells the listing in
romaji and looks up every entry matching a word. This package holds the
dodevuz command, a small sample dictionary and the romaji table; with the
edict package installed, `dodevuz setup` makes a folder for the full
dictionary; with kanjidic, every kanji's meanings, readings, strokes and
grade are shown too.")

set(CPACK_DEBIAN_QT_PACKAGE_NAME dodevuz-qt)
set(CPACK_DEBIAN_QT_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_QT_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Japanese text needs a font that has it.
set(CPACK_DEBIAN_QT_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-vlgothic")
set(CPACK_COMPONENT_QT_DESCRIPTION
    "Japanese-to-English reading aid (desktop program)
Dodevuz lists a Japanese passage copied to the clipboard with every
dictionary word followed by its entry, spells the listing in romaji and
looks up every entry matching a selected word. This package holds the Qt
desktop program dodevuz-qt and its menu entry.")

include(CPack)
