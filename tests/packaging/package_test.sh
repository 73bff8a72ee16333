#!/usr/bin/env bash
# The Debian package, made from the tests' own build: lintian finds no error; unpacked into a
# scratch root its programs answer --version; its system user is made there as the maintainer
# script makes it; the service unit passes systemd-analyze verify (its programs taken from the
# scratch root) and gets a security score; the desktop entries and the AppStream data validate;
# and the files it installs are the ones the README lists.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

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
