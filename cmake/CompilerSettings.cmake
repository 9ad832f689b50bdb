# Warning and sanitizer flags shared by every target of the project, applied through one
# interface library so that third-party code found by find_package is left alone.
add_library(clockwarden_compile_options INTERFACE)
add_library(Clockwarden::CompileOptions ALIAS clockwarden_compile_options)

target_compile_options(clockwarden_compile_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(clockwarden_compile_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)

# lld links the many sanitized test programs in about half the time of the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld CLOCKWARDEN_HAVE_LLD)
if(CLOCKWARDEN_HAVE_LLD)
    target_link_options(clockwarden_compile_options INTERFACE -fuse-ld=lld)
endif()

if(CLOCKWARDEN_WERROR)
    target_compile_options(clockwarden_compile_options INTERFACE -Werror)
endif()

if(CLOCKWARDEN_SANITIZE)
    set(_cw_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(clockwarden_compile_options INTERFACE ${_cw_sanitizers})
    target_link_options(clockwarden_compile_options INTERFACE ${_cw_sanitizers})
endif()
