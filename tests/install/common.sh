# shellcheck shell=bash
# Shared by the install checks: failure reporting and the list of files an
# install must hold (relative to the prefix), nothing more and nothing less.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

expected_files() {
    printf '%s\n' \
        bin/tapewell \
        bin/tapewell-cli \
        share/applications/tapewell.desktop \
        share/icons/hicolor/scalable/apps/tapewell.svg \
        share/mime/packages/tapewell.xml \
        share/tapewell/translations/tapewell_ko.qm
    if [ "${TAPEWELL_HAS_HELPER:-0}" = 1 ]; then
        echo libexec/tapewell/tapewell-capture-helper
    fi
}

# Compares the sorted file list on stdin with expected_files, naming every
# missing and every unexpected file.
check_file_list() {
    local what=$1 actual expected missing extra
    actual=$(sort)
    expected=$(expected_files | sort)
    missing=$(comm -13 <(echo "$actual") <(echo "$expected"))
    extra=$(comm -23 <(echo "$actual") <(echo "$expected"))
    [ -z "$missing" ] || fail "$what lacks:"$'\n'"$missing"
    [ -z "$extra" ] || fail "$what holds files that must not be installed:"$'\n'"$extra"
}

# Every Exec line of the desktop entry starts the program at $2; a path with
# blanks or other reserved characters has to be quoted to stay one argument.
check_desktop_exec() {
    local entry=$1 program=$2 line
    grep -q '^Exec=' "$entry" || fail "$entry has no Exec line"
    while IFS= read -r line; do
        case "$line" in
            "Exec=\"$program\" "* | "Exec=\"$program\"") ;;
            "Exec=$program "* | "Exec=$program")
                [[ $program =~ ^[A-Za-z0-9/._+-]+$ ]] ||
                    fail "$entry: '$line' leaves $program unquoted" ;;
            *) fail "$entry: '$line' does not start $program" ;;
        esac
    done < <(grep '^Exec=' "$entry")
}
