#!/usr/bin/env bash
# Builds the Debian package into a scratch folder and checks what an administrator and a desktop rely on:
# the files it installs, lintian, the desktop entry, the AppStream metainfo, the man page of vestrum-cli, and the
# installed program's first start, which keeps its data in the user's folder and writes nothing beside itself.
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
for path in /usr/lib/vestrum/vestrum /usr/lib/vestrum/vestrum-cli /usr/lib/vestrum/vestrum-cli-report \
            /usr/lib/vestrum/aktualizuj \
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
for program in vestrum vestrum-cli vestrum-cli-report aktualizuj; do
  readelf -S "$root/usr/lib/vestrum/$program" | grep -qE '\.(debug_info|symtab)\b' && fail "$program nie jest okrojony"
done
grep -qx 'Dane=uzytkownik' "$root/usr/lib/vestrum/vestrum.ini" || fail "vestrum.ini bez Dane=uzytkownik"

# The update keys of the build are in the packaged program and updater (Qt keeps the literal in UTF-16).
keys=$(sed -n 's/^VESTRUM_UPDATE_PUBLIC_KEYS:STRING=//p' "$build_dir/CMakeCache.txt")
IFS=';' read -ra key_list <<<"$keys"
for key in "${key_list[@]}"; do
  key=$(echo "$key" | tr -d '[:space:]')
  [ -z "$key" ] && continue
  for program in vestrum aktualizuj; do
    strings -el "$root/usr/lib/vestrum/$program" >"$scratch/strings"
    grep -qF "$key" "$scratch/strings" || fail "$program w pakiecie bez klucza aktualizacji $key"
  done
done

# The installed program's first start, headless and unattended, with a private home: its data go to the user's
# folder, the headless commands work on them, and the program folder stays as unpacked, byte for byte (also for
# root, who could write there).
program_listing() {
  (cd "$root/usr/lib/vestrum" && find . -printf '%p %y %m %s\n' | LC_ALL=C sort \
     && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum)
}
program_listing >"$scratch/program-before"
user_home=$scratch/home
data=$user_home/dane-uzytkownika/vestrum
mkdir -p "$user_home/run" "$user_home/tmp"
chmod 700 "$user_home/run"
as_user=(env HOME="$user_home" XDG_DATA_HOME="$user_home/dane-uzytkownika" XDG_CONFIG_HOME="$user_home/.config"
         XDG_RUNTIME_DIR="$user_home/run" TMPDIR="$user_home/tmp" QT_QPA_PLATFORM=offscreen)
if ! "${as_user[@]}" timeout 120 "$root/usr/bin/vestrum" --messages-on-stderr --quit-after-first-paint \
     >"$scratch/start.log" 2>&1; then
  cat "$scratch/start.log" >&2
  fail "zainstalowany program nie uruchomił się i nie zakończył"
fi
for made in dane/ankieta.mdb dane/lista_czasopism.mdb ankieta.ini; do
  [ -f "$data/$made" ] || fail "po pierwszym starcie brak $made w folderze danych użytkownika"
done
"${as_user[@]}" "$root/usr/bin/vestrum-cli" survey show "$data/dane/ankieta.mdb" >"$scratch/survey.log" 2>&1 \
  || { cat "$scratch/survey.log" >&2; fail "vestrum-cli survey show na danych użytkownika"; }
printf 'Acta Physica Polonica A;Tytuł;Kowalski J.;2008, 114, 1-10\n' >"$scratch/publikacje.txt"
"${as_user[@]}" "$root/usr/bin/vestrum-cli" list import-text "$data/dane/ankieta.mdb" 3 "$scratch/publikacje.txt" \
  --separator=';' --map=1,2,3,4 >"$scratch/import.log" 2>&1 \
  && grep -q 'ACTA PHYSICA POLONICA A' "$scratch/import.log" \
  || { cat "$scratch/import.log" >&2; fail "vestrum-cli list import-text nie zidentyfikował czasopisma"; }
# The report is handed over from the link in /usr/bin to the report program beside the real vestrum-cli.
"${as_user[@]}" "$root/usr/bin/vestrum-cli" report "$data/dane/ankieta.mdb" -o "$scratch/raport.pdf" \
  >"$scratch/report.log" 2>&1 && [ "$(head -c 5 "$scratch/raport.pdf")" = "%PDF-" ] \
  || { cat "$scratch/report.log" >&2; fail "vestrum-cli report nie zapisał raportu na danych użytkownika"; }
program_listing | diff "$scratch/program-before" - >&2 || fail "folder programu zmienił się po starcie programu"

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
