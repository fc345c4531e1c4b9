#!/bin/bash
# `cpack -G DEB` into a temporary folder: the package holds exactly the listed
# files under /usr, a desktop entry for /usr/bin/tapewell (not the staging
# folder), the run-time dependencies, a postinst that sets the capture
# capability, and (as root with package lists) apt can install it.
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=${TAPEWELL_BUILD_DIR:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$work"/tapewell_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single tapewell_*.deb in $work"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $NF }' | sed -n 's|^\./usr/||p' |
    check_file_list "$(basename "$deb")"
if dpkg-deb -c "$deb" | awk '{ print $NF }' | grep -v '^\./usr/' | grep -qv '^\./$'; then
    fail "$(basename "$deb") installs outside /usr"
fi

[ "$(dpkg-deb -f "$deb" Package)" = tapewell ] || fail "the package is not named tapewell"
[ "$(dpkg-deb -f "$deb" Version)" = "$TAPEWELL_VERSION" ] || fail "the package version is not $TAPEWELL_VERSION"
[ "$(dpkg-deb -f "$deb" Section)" = video ] || fail "the package section is not video"
depends=$(dpkg-deb -f "$deb" Depends)
for package in gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly \
    gstreamer1.0-libav libqt6svg6 libcap2-bin shared-mime-info desktop-file-utils \
    libc6 libqt6widgets6 libpcap0.8; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
# Stripped for the package, the programs must still start.
"$work/root/usr/bin/tapewell-cli" --version >/dev/null || fail "the packaged tapewell-cli does not run"
"$work/root/usr/bin/tapewell" --version >/dev/null || fail "the packaged tapewell does not run"
check_desktop_exec "$work/root/usr/share/applications/tapewell.desktop" /usr/bin/tapewell

dpkg-deb -e "$deb" "$work/control"
postinst=$work/control/postinst
[ -x "$postinst" ] || fail "the package has no executable postinst"
grep -q 'setcap cap_net_raw=ep "\$helper"' "$postinst" &&
    grep -q '^helper=/usr/libexec/tapewell/tapewell-capture-helper$' "$postinst" ||
    fail "the postinst does not set cap_net_raw on the installed capture helper"
sh -n "$postinst" || fail "the postinst is not valid sh"

if [ "$(id -u)" = 0 ] && compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null; then
    (cd "$work" && apt-get install --simulate "./$(basename "$deb")") >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log" >&2; fail "apt-get cannot resolve the package's dependencies"; }
else
    echo "not root or no apt package lists: apt-get install --simulate skipped"
fi

echo "$(basename "$deb"): ok"
