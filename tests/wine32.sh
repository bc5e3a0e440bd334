#!/bin/sh
# Sets up, in a folder of the build, a 32-bit Wine that runs a 32-bit Windows
# exe on an x86-64 Linux whose kernel runs no i386 code: Debian's i386 Wine,
# unpacked (not installed) and run under qemu-i386-static, served by the
# native 64-bit wineserver. From Debian packages only; needs root to install
# the amd64 ones when they are missing.
#
#   wine32.sh FOLDER
#
# makes FOLDER/tree (the unpacked i386 packages), FOLDER/wine (runs an exe:
# "wine EXE ARGS...", or "wine wineboot -i" to make a prefix) and
# FOLDER/server (the wineserver to start and stop). Runs must be started one
# at a time: processes started at the same moment wait minutes for a boot
# event that never comes. Faults inside the emulated process are not
# reported as Windows would (a crash shows as status 139).
set -eu
folder=$(mkdir -p "$1" && cd "$1" && pwd)
tree=$folder/tree
i386_packages="wine32 wine32-preloader libwine libc6 libgcc-s1"

have_package() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=""
for package in qemu-user-static libz-mingw-w64 wine64; do
    have_package "$package" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

# The i386 packages are downloaded without adding the i386 architecture to
# the system: the lists of both are fetched for the download alone (a
# mirror in mid-sync may fail one suite's index; the rest is still usable),
# then the amd64-only lists are fetched again.
if [ ! -x "$tree/usr/lib/wine/wine-preloader.static" ]; then
    rm -rf "$folder/debs" "$tree"
    mkdir -p "$folder/debs" "$tree"
    both="-o APT::Architectures::=amd64 -o APT::Architectures::=i386"
    apt-get $both update -qq || echo "wine32.sh: some package lists could not be fetched; going on with the rest"
    (cd "$folder/debs" && apt-get $both download $(for p in $i386_packages; do printf '%s:i386 ' "$p"; done))
    apt-get update -qq || true
    for deb in "$folder"/debs/*.deb; do dpkg-deb -x "$deb" "$tree"; done
    rm -rf "$folder/debs"
fi

# The zlib1.dll files that libwine's install script would make: MinGW's,
# marked as a Wine builtin DLL at offset 64.
windows_dlls=$tree/usr/lib/i386-linux-gnu/wine
for pair in i386:i686 x86_64:x86_64; do
    dll=$windows_dlls/${pair%%:*}-windows/zlib1.dll
    mkdir -p "$(dirname "$dll")"
    cp "/usr/${pair##*:}-w64-mingw32/lib/zlib1.dll" "$dll"
    { printf 'Wine builtin DLL'; head -c 16 /dev/zero; } | dd of="$dll" bs=1 seek=64 conv=notrunc 2>/dev/null
done

# Wine starts each process through its preloader, which the kernel cannot
# run: the preloader becomes a script that runs it under qemu.
rm -f "$tree/usr/lib/wine/wine-preloader"
cat >"$tree/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec qemu-i386-static -L "$tree" "$tree/usr/lib/wine/wine-preloader.static" "\$@"
EOF

# The server must make a 32-bit prefix; under emulation the services that a
# Windows session starts only spin, so they are left out (and the boot
# itself too, once the prefix is made).
cat >"$folder/server" <<EOF
#!/bin/sh
WINEARCH=win32 exec /usr/lib/wine/wineserver64 "\$@"
EOF
cat >"$folder/wine" <<EOF
#!/bin/sh
export WINEARCH=win32 WINELOADERNOEXEC=1 WINESERVER="$folder/server"
left_out=services.exe,svchost.exe,explorer.exe,plugplay.exe,winedevice.exe,rpcss.exe,winemenubuilder.exe
[ "\${1:-}" = wineboot ] || left_out=\$left_out,wineboot.exe
export WINEDLLOVERRIDES="\$left_out=d;mscoree,mshtml="
exec "$tree/usr/lib/wine/wine-preloader" "$tree/usr/lib/wine/wine" "\$@"
EOF
chmod +x "$tree/usr/lib/wine/wine-preloader" "$folder/server" "$folder/wine"
echo "32-bit Wine ready in $folder"
