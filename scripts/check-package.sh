#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks what an administrator and a desktop rely on:
# the files it installs, lintian, the desktop entry, the AppStream metainfo and the man page of vestrum-cli.
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
build_dir=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "BŁĄD: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/out/vestrum_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "cpack made no vestrum_<wersja>_amd64.deb" >&2; ls "$scratch/out" >&2; exit 1; }
deb=${debs[0]}

# Every file the package promises, at its place.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/files"
for path in /usr/lib/vestrum/vestrum /usr/lib/vestrum/vestrum-cli /usr/lib/vestrum/aktualizuj \
            /usr/lib/vestrum/vestrum.ini /usr/lib/vestrum/pomoc/index.html \
            /usr/bin/vestrum /usr/bin/vestrum-cli \
            /usr/share/doc/vestrum/copyright /usr/share/doc/vestrum/changelog.gz \
            /usr/share/applications/vestrum.desktop /usr/share/metainfo/pl.marvo.vestrum.metainfo.xml \
            /usr/share/mime/packages/vestrum.xml /usr/share/man/man1/vestrum-cli.1.gz \
            /usr/share/icons/hicolor/scalable/apps/vestrum.svg \
            /usr/share/icons/hicolor/48x48/apps/vestrum.png /usr/share/icons/hicolor/128x128/apps/vestrum.png; do
  grep -qx "$path" "$scratch/files" || fail "w pakiecie brak $path"
done

# Library dependencies come from dpkg-shlibdeps; the fonts printing uses are added by hand.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libqt6widgets6* ]] || fail "Depends bez bibliotek Qt: $depends"
[[ $depends == *fonts-liberation2* ]] || fail "Depends bez fonts-liberation2: $depends"

# The unpacked tree: links resolve, binaries carry no debug sections, the program folder sends data to the user.
root=$scratch/root
dpkg -x "$deb" "$root"
for program in vestrum vestrum-cli; do
  [ -L "$root/usr/bin/$program" ] || fail "/usr/bin/$program nie jest dowiązaniem"
  [ "$(readlink -f "$root/usr/bin/$program")" = "$root/usr/lib/vestrum/$program" ] \
    || fail "/usr/bin/$program nie wskazuje programu w /usr/lib/vestrum"
done
for program in vestrum vestrum-cli aktualizuj; do
  readelf -S "$root/usr/lib/vestrum/$program" | grep -qE '\.(debug_info|symtab)\b' && fail "$program nie jest okrojony"
done
grep -qx 'Dane=uzytkownik' "$root/usr/lib/vestrum/vestrum.ini" || fail "vestrum.ini bez Dane=uzytkownik"

# The man page names every command vestrum-cli lists when run without arguments.
man_text=$(zcat "$root/usr/share/man/man1/vestrum-cli.1.gz" | sed 's/\\-/-/g; s/\\f[BIRP]//g; s/"//g' | tr -s ' ')
commands=$("$root/usr/bin/vestrum-cli" 2>&1 | awk '$1 == "vestrum-cli" {print $2 " " $3}' || true)
[ -n "$commands" ] || fail "vestrum-cli bez argumentów nie wypisał poleceń"
while read -r command; do
  [ -z "$command" ] && continue
  grep -qF -- "${command% }" <<<"$man_text" || fail "strona podręcznika vestrum-cli nie opisuje: $command"
done <<<"$commands"

desktop-file-validate "$root/usr/share/applications/vestrum.desktop" || fail "desktop-file-validate"
grep -q '^Exec=vestrum %f$' "$root/usr/share/applications/vestrum.desktop" || fail "Exec bez %f"
appstreamcli validate --no-net "$root/usr/share/metainfo/pl.marvo.vestrum.metainfo.xml" >"$scratch/appstream.log" 2>&1 \
  || { cat "$scratch/appstream.log" >&2; fail "appstreamcli validate"; }

# lintian fails on errors only; its warnings are printed for the record.
lintian_status=0
lintian --allow-root --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || lintian_status=$?
cat "$scratch/lintian.log"
[ "$lintian_status" -eq 0 ] || fail "lintian zgłasza błędy (kod $lintian_status)"

[ "$failures" -eq 0 ] || exit 1
echo "Pakiet $(basename "$deb") sprawdzony."
