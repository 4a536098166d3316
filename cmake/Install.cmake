# Where `make install` (cmake --install) puts the programs, their manual pages,
# documents, examples and bash completion, and the Debian package `make deb`
# builds from the same rules (CPack). GNU directory names: bin, share/man,
# share/doc/qiro under the prefix (default /usr/local; /usr in the package).
include(GNUInstallDirs)

install(TARGETS qiro qiro-freq RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/qiro.1 man/qiro-freq.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE CITATION.cff DESTINATION ${CMAKE_INSTALL_DOCDIR})
# (not the result files make demo leaves there)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples PATTERN "*.out" EXCLUDE)
# bash-completion loads a command's completion from the file named after it.
install(FILES completions/qiro DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES completions/qiro DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qiro-freq)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qiro)
set(CPACK_PACKAGE_VENDOR "QIRO developers")
set(CPACK_PACKAGE_CONTACT "QIRO developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DNA motif discovery with a genetic algorithm")
set(CPACK_PACKAGE_DESCRIPTION
  "qiro finds the DNA motifs of a set of sequences, judges them against control sequences, names them after a motif database and can start from known binding sites; qiro-freq writes its background files.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # qiro_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Depends from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module is in the same package, built from the same library and
# version: it cannot drift from the programs, and one apt-get gives both. The
# programs need no Python, so Python is recommended rather than required.
if(QIRO_WITH_PYTHON)
  # The extension is built for one Python version (its file name says which).
  math(EXPR QIRO_PYTHON_NEXT "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${QIRO_PYTHON_NEXT}), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib")
endif()
include(CPack)
