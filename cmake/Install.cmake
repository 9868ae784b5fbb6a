# Installing Sorimba the way Linux desktop programs are installed, and its
# Debian package (`make install`, `make package`). Included from CMakeLists.txt
# after the programs are defined.

# A copy of the program with this file beside it keeps data.dat and data2.dat
# beside itself (a portable copy); an installed copy keeps them under
# ~/.config/sorimba. The build folder is portable, so `make run` and the tests
# never write under the user's home. The name is the one src/settings looks for.
file(GENERATE OUTPUT $<TARGET_FILE_DIR:sorimba>/sorimba-portable
     CONTENT "This file makes the Sorimba program beside it keep its settings (data.dat, data2.dat) in this folder.\n")

# The sanitizer and fuzz builds are for testing only: nothing to install there.
if(SORIMBA_SANITIZE OR SORIMBA_FUZZ)
    return()
endif()

include(GNUInstallDirs)

# The application id names the desktop entry, the AppStream file and the
# icon. It lies in the reserved example domain until the project owns one.
set(SORIMBA_APP_ID org.example.Sorimba)
set(packaging_dir ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(generated_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)

install(TARGETS sorimba sorimba-clip RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_dir}/${SORIMBA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/${SORIMBA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/sorimba-clip.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sorimba-clip)

# Icons: the window's own SVG, and PNG renderings of it in the usual sizes.
set(icon_svg ${CMAKE_CURRENT_SOURCE_DIR}/src/window/icon.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${SORIMBA_APP_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(generated_files)
foreach(size 16 22 24 32 48 64 128 256)
    set(png ${generated_dir}/icons/${size}x${size}/${SORIMBA_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
        DEPENDS ${icon_svg} VERBATIM)
    list(APPEND generated_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages, written from each program's own --help by help2man.
find_program(HELP2MAN help2man REQUIRED)
function(sorimba_man_page target summary)
    set(page ${generated_dir}/man/${target}.1.gz)
    add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}/man
        COMMAND ${packaging_dir}/man/help2man.sh $<TARGET_FILE:${target}> ${summary}
                ${PROJECT_VERSION} ${packaging_dir}/man/${target}.h2m ${page} ${ARGN}
        DEPENDS ${target} ${packaging_dir}/man/help2man.sh ${packaging_dir}/man/${target}.h2m
        VERBATIM)
    set(generated_files ${generated_files} ${page} PARENT_SCOPE)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
sorimba_man_page(sorimba "clip the reader column out of a newsletter issue")
sorimba_man_page(sorimba-clip "clip the reader column out of a newsletter issue from a shell" --commands)

# What Debian expects of every package: the copyright and the changelog,
# compressed (a native package's changelog is changelog.gz).
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/sorimba)
set(changelog_gz ${generated_dir}/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}
    COMMAND sh -c "gzip -9n < '${packaging_dir}/changelog' > '${changelog_gz}'"
    DEPENDS ${packaging_dir}/changelog VERBATIM)
list(APPEND generated_files ${changelog_gz})
install(FILES ${packaging_dir}/copyright ${changelog_gz} DESTINATION ${doc_dir})

add_custom_target(sorimba_install_files ALL DEPENDS ${generated_files})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorimba)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Sorimba authors")
set(CPACK_PACKAGE_CONTACT "Sorimba authors <sorimba@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clip the reader column out of a Japanese newsletter")
set(CPACK_PACKAGE_DESCRIPTION
    "Sorimba takes the plain text of one issue of the Japanese newsletter
「ウィークリーぴこぴこ」, cuts its reader-submission column out and reshapes
the entries into a compact clip text, which it copies to the clipboard or
appends to a save file, or to one file per topic title. Files are Shift-JIS
(code page 932) with CR LF line ends.
.
The package holds the window, sorimba, and its command-line companion,
sorimba-clip, which runs the same steps without a display.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; Qt's X11 platform plugin is loaded
# at run time, so no library dependency names it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# A Japanese gothic face for the text area, and Qt's own dialogs in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n")
include(CPack)

# Tests of the installed tree and of the package: slower than the unit tests,
# so they carry their own label.
if(NOT DEFINED BUILD_TESTING OR BUILD_TESTING)
    set(packaging_env
        "SORIMBA_SOURCE=${CMAKE_CURRENT_SOURCE_DIR}"
        "SORIMBA_BUILD=${CMAKE_CURRENT_BINARY_DIR}"
        "SORIMBA_APP_ID=${SORIMBA_APP_ID}"
        "SORIMBA_VERSION=${PROJECT_VERSION}"
        "CMAKE_COMMAND=${CMAKE_COMMAND}"
        "CPACK_COMMAND=${CMAKE_CPACK_COMMAND}")
    set(packaging_tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/packaging)
    add_test(NAME packaging.install_tree COMMAND ${packaging_tests}/test_install_tree.sh)
    add_test(NAME packaging.completion COMMAND ${packaging_tests}/test_completion.sh)
    # The package is built once; the checks on it share it.
    add_test(NAME packaging.deb COMMAND ${packaging_tests}/build_deb.sh)
    add_test(NAME packaging.lintian COMMAND ${packaging_tests}/test_lintian.sh)
    # The installed program on a real X server, from the unpacked package.
    add_test(NAME packaging.installed COMMAND ${packaging_tests}/test_installed.py)
    set_tests_properties(packaging.deb PROPERTIES FIXTURES_SETUP sorimba_deb)
    set_tests_properties(packaging.lintian packaging.installed PROPERTIES FIXTURES_REQUIRED sorimba_deb)
    list(APPEND packaging_env
        "SORIMBA_APP=$<TARGET_FILE:sorimba>"
        "SORIMBA_CLIP=$<TARGET_FILE:sorimba-clip>")
    set_tests_properties(packaging.install_tree packaging.completion packaging.deb packaging.lintian
                         packaging.installed
        PROPERTIES LABELS packaging ENVIRONMENT "${packaging_env}" TIMEOUT 300)
    set_tests_properties(packaging.installed PROPERTIES RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "SKIP: ")
endif()
