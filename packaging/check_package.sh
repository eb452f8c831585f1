#!/usr/bin/env bash
# The package's check (ctest: Package.Check): builds the Debian package from the build folder into a
# temporary folder and checks what a user gets from it.
#   check_package.sh BUILD_DIR PACKAGING_DIR VERSION
set -euo pipefail
BUILD="$(realpath "$1")"
HERE="$(realpath "$2")"
VERSION="$3"
APP_ID=org.zelt.panel
PROGRAMS=(zelt-panel zelt-ctl zelt-pjlinkd zeltd zelt-projector-emulator)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
step() { echo "== $*"; }

step "cpack"
if ! (cd "$work" && cpack --config "$BUILD/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    fail "cpack could not build the package"
fi
deb="$work/out/zelt-control_${VERSION}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$work/out")"
dpkg-deb -x "$deb" "$work/root"
root="$work/root"

step "control fields"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# Found by dpkg-shlibdeps from the programs' libraries, not written by hand.
grep -q "libqt6core6" <<<"$depends" || fail "Depends lacks Qt: $depends"
grep -q "libqt6serialport6" <<<"$depends" || fail "Depends lacks Qt Serial Port: $depends"
[ "$(dpkg-deb -f "$deb" Section)" = comm ] || fail "Section is not comm"

step "file list"
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' | LC_ALL=C sort >"$work/files.txt"
grep -v '^#' "$HERE/expected-files.txt" | LC_ALL=C sort >"$work/expected.txt"
diff -u "$work/expected.txt" "$work/files.txt" || fail "the package's files differ from expected-files.txt (- expected, + found)"

step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$APP_ID.desktop" || fail "desktop entry"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "metainfo"
grep -q "<release version=\"$VERSION\"" "$root/usr/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "the metainfo has no release $VERSION (add it to <releases>)"

step "maintainer scripts"
control="$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)"  # listed whole: grep -q would cut the pipe
for script in postinst prerm postrm; do
    grep -qx "./$script" <<<"$control" || fail "the package has no $script"
done

step "systemd units and their users"
# Each unit as installed, its program taken from the unpacked package; any warning fails (an
# unknown key is only a warning to systemd). Each user file as systemd-sysusers would apply it, to
# an empty root.
for unit in "$root"/lib/systemd/system/*.service; do
    name="$(basename "$unit" .service)"
    mkdir -p "$work/units"
    sed "s|/usr/bin/|$root/usr/bin/|g" "$unit" >"$work/units/$name.service"
    said="$(systemd-analyze verify --man=no "$work/units/$name.service" 2>&1)" || fail "systemd-analyze verify $name: $said"
    [ -z "$said" ] || fail "systemd-analyze verify $name: $said"
    users="$root/usr/lib/sysusers.d/$name.conf"
    [ -f "$users" ] || fail "no sysusers file for $name"
    mkdir -p "$work/sysroot/etc"
    systemd-sysusers --dry-run --root="$work/sysroot" "$users" >/dev/null || fail "systemd-sysusers $name.conf"
    # The options the unit gives its program are ones the program knows: an option renamed or gone
    # would break the installed service on the upgrade that brings the new program.
    program="$(sed -n 's|^ExecStart=/usr/bin/\([^ ]*\).*|\1|p' "$unit")"
    [ -x "$root/usr/bin/$program" ] || fail "$name.service runs /usr/bin/$program, which the package lacks"
    known="$(env -u LD_LIBRARY_PATH "$root/usr/bin/$program" --help)"
    given="$(grep -E "^(Exec[A-Za-z]*=/usr/bin/$program |Environment=)" "$unit" | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)"
    for option in $given; do
        grep -qE -- "(^|[ ,])$option( |$)" <<<"$known" || fail "$name.service gives $program $option, which its --help lacks"
    done
    echo "$name: unit and user file valid; $program knows its options:" $given
done

step "--version from the unpacked package"
for program in "${PROGRAMS[@]}"; do
    # Qt comes from the system: no LD_LIBRARY_PATH.
    seen="$(env -u LD_LIBRARY_PATH "$root/usr/bin/$program" --version)" || fail "$program --version failed"
    [ "$seen" = "$program $VERSION" ] || fail "$program --version says \"$seen\", not \"$program $VERSION\""
    echo "$seen"
done

step "man pages"
for program in "${PROGRAMS[@]}"; do
    page="$root/usr/share/man/man1/$program.1.gz"
    [ -f "$page" ] || fail "no man page for $program"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "man $program: $warnings"
    # Every option that --help shows is in the man page.
    source="$(zcat "$page" | sed 's/\\-/-/g')"
    for option in $("$root/usr/bin/$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u); do
        grep -qF -- "$option" <<<"$source" || fail "man $program does not describe $option"
    done
done

step "lintian"
# Accepted tags are overridden, each with its reason, in the package's own overrides file
# (packaging/lintian-overrides); any other warning or error fails.
lintian --fail-on error,warning --show-overrides "$deb" || fail "lintian"

echo "The package $(basename "$deb") passed every check."
