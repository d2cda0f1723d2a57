#!/usr/bin/env bash
# The .deb as a user gets it: lintian, its control data, then its files unpacked into a scratch
# root and used there: the programs, the menu entry, the AppStream metadata, the icons, the
# manual pages and the bash completion.
#   deb_test.sh PACKAGE_DIR
set -uo pipefail
# shellcheck source=tests/package/checks.sh
source "$(dirname "$0")/checks.sh"
deb="$(cd "$1" && pwd)/quorvel_${version}_$(dpkg --print-architecture).deb"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
[ -f "$deb" ] || { echo "no package $deb" >&2; exit 1; }

check "lintian: no errors or warnings" lintian --fail-on error,warning "$deb"
depends="$(dpkg-deb -f "$deb" Depends)"
# Found by dpkg-shlibdeps from the programs' libraries: Qt for the window, libudev for the ports.
check "Depends names the window's and the port list's libraries" \
  grep -E 'libqt6widgets6 .*libudev1|libudev1 .*libqt6widgets6' <<<"$depends"
check "Depends can be met on this system" apt-get install --simulate --no-install-recommends "$deb"

dpkg-deb -x "$deb" "$scratch"
usr="$scratch/usr"
for program in quorvel quorvel-cli quorvel-sim; do
  check "$program --version" same "$program $version" "$usr/bin/$program" --version
done
check "quorvel-cli info on the sample" same \
  $'Time: 2009/05/01 23:30:00 ~ 2009/05/02 00:19:55\nSize(Record): 600\nTimes in GMT+8:00.' \
  "$usr/bin/quorvel-cli" info "$root/samples/sample.dlg" --tz GMT+8:00
check "quorvel-cli translates the sample to KML" \
  "$usr/bin/quorvel-cli" translate "$root/samples/sample.dlg" --all --keep-nofix -o "$scratch/all.kml"
check "the KML is well-formed" xmllint --noout "$scratch/all.kml"
check "GDAL reads 600 placemarks" grep -q "Feature Count: 600" <(ogrinfo -ro -al -so "$scratch/all.kml")

share="$usr/share"
check "desktop entry valid" desktop-file-validate "$share/applications/quorvel.desktop"
check "desktop entry starts the installed program" test -x "$usr/bin/$(sed -n 's/^Exec=//p' "$share/applications/quorvel.desktop")"
check "AppStream metadata valid" appstreamcli validate --no-net "$share/metainfo/org.quorvel.quorvel.metainfo.xml"
check "AppStream metadata shows the window's picture" grep -q '<image>http.*/window.png</image>' "$share/metainfo/org.quorvel.quorvel.metainfo.xml"
check "scalable icon" test -s "$share/icons/hicolor/scalable/apps/quorvel.svg"
for size in 16 22 24 32 48 64 128 256; do
  check "icon ${size}x${size} is a PNG of that size" \
    grep -q "PNG image data, $size x $size" <(file "$share/icons/hicolor/${size}x${size}/apps/quorvel.png")
done
check "udev rule" grep -q 'TAG+="uaccess"' "$usr/lib/udev/rules.d/60-quorvel.rules"
check "README" cmp "$root/README.md" "$share/doc/quorvel/README.md"

# Manual pages: each renders without a warning, and quorvel-cli's has a section for every
# subcommand that its --help lists, nested ones included.
for page in quorvel quorvel-cli quorvel-sim; do
  check "man $page renders cleanly" bash -c \
    "out=\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '$share/man/man1/$page.1.gz' 2>&1 >/dev/null); [ -z \"\$out\" ] || { echo \"\$out\"; exit 1; }"
done
# The subcommands a CLI11 help lists, from its "Subcommands:" section.
subcommands() {
  "$usr/bin/quorvel-cli" "$@" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }'
}
paths=()
for sub in $(subcommands); do
  paths+=("$sub")
  for nested in $(subcommands "$sub"); do paths+=("$sub $nested"); done
done
check "quorvel-cli has subcommands to check" test "${#paths[@]}" -ge 6
page="$(zcat "$share/man/man1/quorvel-cli.1.gz")"
for path in "${paths[@]}"; do
  check "man quorvel-cli: $path" grep -qF ".SS \"quorvel-cli $path\"" <<<"$page"
done

# bash completion, as bash runs it for a command line typed up to the cursor.
complete_line() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quorvel_cli
           printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$share/bash-completion/completions/quorvel-cli" "$@"
}
check "completes the subcommands" same "$(subcommands | sort)" complete_line quorvel-cli ""
check "completes nested subcommands" same "$(subcommands config | sort)" complete_line quorvel-cli config ""
check "completes a subcommand from its start" same "translate" complete_line quorvel-cli tr
for sub in "${paths[@]}"; do
  # Every long option the subcommand's help lists, and no other.
  # shellcheck disable=SC2086 # the path is split into its words on purpose
  options="$("$usr/bin/quorvel-cli" $sub --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)"
  # shellcheck disable=SC2086
  check "completes the options of $sub" same "$options" complete_line quorvel-cli $sub --
done
check "completes a file after -o" same "$scratch/all.kml" complete_line quorvel-cli translate x.dlg -o "$scratch/all."

finish
