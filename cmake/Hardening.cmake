# Debian's hardening flags, as dpkg-buildflags gives them with hardening=+all:
# fortified libc calls, the strong stack protector, full RELRO with BIND_NOW,
# and position independent executables. Every program and library of the
# build gets them, so whatever is installed or packaged has them (the
# install test runs hardening-check on the package's ELF files).
#
# Not for the sanitizer and fuzz builds, which instrument the same calls
# themselves and are never installed. _FORTIFY_SOURCE needs the optimiser,
# so a Debug build goes without it.
if(QEL_SANITIZE OR QEL_FUZZ)
  return()
endif()
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                    "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro -Wl,-z,now)
# Executables are linked with -pie (CMP0083), their objects built with -fPIE.
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
