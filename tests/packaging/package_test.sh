#!/usr/bin/env bash
# The Debian package, made from the tests' own build: lintian finds no error; unpacked into a
# scratch root its programs answer --version; its system user is made there as the maintainer
# script makes it; the service unit passes systemd-analyze verify (its programs taken from the
# scratch root) and gets a security score; the desktop entries and the AppStream data validate;
# the console starts from an empty home folder as the desktop entry starts it; and the files it
# installs are the ones the README lists.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
scratch="$(mktemp -d)"
trap 'kill "${kel_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
trap 'echo "failed at line $LINENO"; cat "$scratch/kel.out" 2>/dev/null || true' ERR
# shellcheck source=scripts/lib/virtual-screen.sh
source "$source/scripts/lib/virtual-screen.sh"

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb="$(ls "$scratch"/out/kel_*.deb)"
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KB"

echo "--- lintian"
lintian --fail-on error "$deb" 2>&1 | grep -v "^running with root" || true
lintian --fail-on error "$deb" >/dev/null 2>&1

echo "--- unpacked into a scratch root"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for program in kel kel-viewer kel_remote; do
    out="$("$root/usr/bin/$program" --version)"
    [ "$out" = "$program 2.0.3" ] || { echo "$program --version said '$out'"; exit 1; }
done
"$root/usr/bin/kel" --help | grep -q -- "--board NAME\[:OPTIONS\]"

echo "--- started from the menu: the desktop entry's command in an empty home folder"
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/kel.desktop")
[ "$command" = "kel" ] || { echo "the desktop entry runs '$command'"; exit 1; }
home="$scratch/home"
mkdir -p "$home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
start_virtual_screen 1280x1024x24 "$scratch" || { echo "no virtual screen"; exit 1; }
(cd "$home" && exec env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime" \
    DISPLAY="$display" QT_QPA_PLATFORM=xcb "$root/usr/bin/$command" >"$scratch/kel.out" 2>&1) &
kel_pid=$!
log="$home/.local/share/kel/Server.log"
xdo() { DISPLAY="$display" xdotool "$@" >/dev/null 2>&1 || true; }
for _ in $(seq 600); do  # the first-run question (Yes), the login (the default user), the console
    xdo search --onlyvisible --name '^Uwaga!$' mousemove --window %1 30 30 key Return
    # kel's default password: the station asks for a new one after the login; Escape is "Później"
    xdo search --onlyvisible --name '^Zmiana has' mousemove --window %1 30 30 key Escape
    login=$(DISPLAY="$display" xdotool search --onlyvisible --name '^Logowanie$' 2>/dev/null | head -n1 || true)
    if [ -n "$login" ]; then  # the fields, then a click on OK in the dialog's lower right corner
        geometry=$(DISPLAY="$display" xdotool getwindowgeometry --shell "$login" 2>/dev/null || true)
        X=0 Y=0 WIDTH=0 HEIGHT=0
        eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$' <<<"$geometry")"
        xdo mousemove --window "$login" 30 30 type --delay 20 $'kel\tqxv'
        [ "$WIDTH" -eq 0 ] || xdo mousemove $((X + WIDTH - 40)) $((Y + HEIGHT - 20)) click 1
    fi
    grep -q "Applikacje przywolano z TRAYA" "$log" 2>/dev/null && break
    kill -0 "$kel_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "Applikacje przywolano z TRAYA" "$log" 2>/dev/null ||
    { echo "the console did not start:"; cat "$scratch/kel.out" "$log" 2>/dev/null; exit 1; }
kill -TERM "$kel_pid"
wait "$kel_pid" || { echo "kel ended with $?"; cat "$scratch/kel.out"; exit 1; }
kel_pid=""
# Only the user's data and settings folders (and the toolkit's caches) were made there.
left=$(cd "$home" && ls -A | grep -v -x -E '\.config|\.local|\.cache' | tr '\n' ' ' || true)
[ -z "$left" ] || { echo "the home folder holds: $left"; exit 1; }
grep -q "Folder roboczy: $home/.local/share/kel" "$log"
echo "the console ran in $home/.local/share/kel with the installed skins"

echo "--- the maintainer script's user, made in the scratch root"
mkdir -p "$root/etc"
cp /etc/passwd /etc/group "$root/etc/"
systemd-sysusers --root="$root" kel.conf
grep -q "^kel:x:[0-9]*:[0-9]*:KEL video recorder:/var/lib/kel:" "$root/etc/passwd"
grep -q "^video:.*\bkel\b" "$root/etc/group"
grep -q "^dialout:.*\bkel\b" "$root/etc/group"
sh -n "$source/packaging/debian/postinst" "$source/packaging/debian/prerm" "$source/packaging/debian/postrm"

echo "--- the service"
sed "s|/usr/bin/kel|$root/usr/bin/kel|g" "$root/usr/lib/systemd/system/kel.service" > "$scratch/kel.service"
MANPATH="$root/usr/share/man" systemd-analyze verify "$scratch/kel.service"
systemd-analyze security --offline=true "$scratch/kel.service" | tail -1

echo "--- desktop entries and AppStream data"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml | tail -1
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null

echo "--- the installed files are the README's"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort > "$scratch/files"
sed -n '/^<!-- installed files -->$/,/^<!-- end -->$/p' "$source/README.md" | grep '^/' > "$scratch/patterns"
status=0
while read -r file; do
    matched=0
    while read -r pattern; do
        # shellcheck disable=SC2254
        case "$file" in $pattern) matched=1; break ;; esac
    done < "$scratch/patterns"
    [ "$matched" = 1 ] || { echo "installed but not in the README: $file"; status=1; }
done < "$scratch/files"
while read -r pattern; do
    found=0
    while read -r file; do
        # shellcheck disable=SC2254
        case "$file" in $pattern) found=1; break ;; esac
    done < "$scratch/files"
    [ "$found" = 1 ] || { echo "in the README but not installed: $pattern"; status=1; }
done < "$scratch/patterns"
[ "$status" = 0 ] && echo "$(wc -l < "$scratch/files") files, as the README lists them"
exit "$status"
