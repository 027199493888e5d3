# Tests of the installed program: a scratch-prefix install and the Debian package.
# Both start the installed program and watch it open its clicks with strace.
add_test(NAME install_tree
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_BINARY_DIR})
add_test(NAME package_deb
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_tree PROPERTIES LABELS install TIMEOUT 120)
# 77: not root, or apt busy; the package is built and checked but not installed.
set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 300 SKIP_RETURN_CODE 77)
