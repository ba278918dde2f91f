# The Debian packages each command needs; sourced by demo.sh and test.sh.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev binutils-mingw-w64-i686)
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" clang-format g++-mingw-w64-i686 binutils-mingw-w64-x86-64)
