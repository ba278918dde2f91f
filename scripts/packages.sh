# The Debian packages each command needs; sourced by demo.sh, test.sh and package.sh.
# python3 runs the trial's unit tests, which the native build registers, and the trial.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev binutils-mingw-w64-i686 python3)
# The trial (scripts/try-in-orbiter.sh) installs these when it runs, with the MinGW cross compiler
# for the Orbiter's machine: Wine, Xvfb, ImageMagick's import for the screenshots, xwininfo for
# the windows shown, inotifywait for the files written, CMake and Ninja for its request probe,
# and Xephyr for --show's display of the sandbox's own.
TRIAL_PACKAGES=(wine wine64 xvfb xauth x11-utils imagemagick inotify-tools cmake ninja-build
    xserver-xephyr)
# The Windows builds run under Wine on a private X display: 32- and 64-bit Wine, Xvfb,
# GoogleTest's sources for the Win32 unit tests, ImageMagick for the usage dialog's picture,
# the trial's packages above for the tests that try Orbiter in a folder, and zip and unzip for
# the add-on zip each Windows build packs and its install test unpacks. Fuzzing needs clang with
# its libFuzzer run-time; the memory check needs valgrind. clang and llvm (llvm-nm) also derive
# Orbiter's decorated names for the DLL's import check. clang-format and black keep the C++ and
# the Python formatted (scripts/check-format.sh).
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" "${TRIAL_PACKAGES[@]}" clang-format black g++-mingw-w64-i686
    binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64 wine32:i386 googletest clang llvm
    libclang-rt-14-dev valgrind zip unzip)
# The add-on package: the 32-bit DLL, zip, and clang and llvm for the check of its imports.
PACKAGE_PACKAGES=(cmake ninja-build g++-mingw-w64-i686 binutils-mingw-w64-i686 zip unzip clang llvm)
