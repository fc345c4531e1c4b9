#!/bin/bash
# `cmake --install` into a temporary prefix: exactly the listed files, a
# desktop entry that starts the installed program and validates, a MIME
# package that update-mime-database accepts, a Korean translation that loads,
# and programs that run from there.
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=${TAPEWELL_BUILD_DIR:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A blank in the prefix: the desktop entry must still start the right program.
prefix="$work/install root/usr"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install into $prefix failed"; }

(cd "$prefix" && find . -type f -printf '%P\n') | check_file_list "the install under $prefix"

for program in tapewell tapewell-cli; do
    [ -x "$prefix/bin/$program" ] || fail "$prefix/bin/$program is not executable"
done
version=$("$prefix/bin/tapewell-cli" --version) || fail "installed tapewell-cli --version failed"
[[ $version == *"$TAPEWELL_VERSION"* ]] ||
    fail "installed tapewell-cli --version printed '$version', not $TAPEWELL_VERSION"

entry=$prefix/share/applications/tapewell.desktop
check_desktop_exec "$entry" "$prefix/bin/tapewell"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
# The menu finds the icon by this name in the hicolor theme.
grep -qx 'Icon=tapewell' "$entry" || fail "$entry does not name the installed icon 'tapewell'"

xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/tapewell.svg" ||
    fail "the installed icon is not well-formed SVG"

# update-mime-database checks the package against its schema and builds the
# glob table a desktop looks .ibh files up in.
update-mime-database "$prefix/share/mime" >"$work/mime.log" 2>&1 ||
    { cat "$work/mime.log" >&2; fail "update-mime-database rejects tapewell.xml"; }
grep -q '\*\.ibh' "$prefix/share/mime/globs2" || fail "the MIME database has no *.ibh glob"

# A .qm that is missing, truncated or not a translation fails to convert.
qm=$prefix/share/tapewell/translations/tapewell_ko.qm
"${TAPEWELL_LCONVERT:?}" -i "$qm" -o "$work/ko.ts" || fail "lconvert cannot read $qm"
grep -q '파일(&amp;F)' "$work/ko.ts" || fail "$qm lacks the Korean menu text for &File"

# The desktop program must find that file where it was installed: it looks
# beside itself in ../share/tapewell/translations and prefers it over the
# built-in copy. Watched through strace, since the program says nothing.
if command -v strace >/dev/null 2>&1; then
    home=$work/home
    mkdir -p "$home/config" "$home/data" "$home/cache" "$home/runtime"
    chmod 700 "$home/runtime"
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
        XDG_RUNTIME_DIR=$home/runtime LC_ALL=ko_KR.UTF-8 LANGUAGE='' QT_QPA_PLATFORM=offscreen \
        strace -f -qq -e trace=openat -o "$work/strace.log" "$prefix/bin/tapewell" \
        >"$work/gui.log" 2>&1 &
    tracer=$!
    for _ in $(seq 150); do
        grep -q 'tapewell_ko\.qm' "$work/strace.log" 2>/dev/null && break
        sleep 0.1
    done
    # The program ends cleanly on SIGTERM; strace then ends with it.
    program=$(ps -o pid= --ppid "$tracer" | tr -d ' ')
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    wait "$tracer" || true
    grep -F "$prefix/bin/../share/tapewell/translations/tapewell_ko.qm" "$work/strace.log" |
        grep -qv ENOENT ||
        { cat "$work/gui.log" >&2; fail "the installed tapewell did not open its installed translation"; }
else
    echo "no strace: the check that tapewell opens the installed translation is skipped"
fi

echo "install under $prefix: ok"
