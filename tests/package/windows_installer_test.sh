#!/usr/bin/env bash
# The Windows installer as a user runs it, under Wine: a silent per-user install into a chosen
# folder, the installed programs, the Start-menu entries and the Apps & features entry, then the
# uninstaller, after which none of it may be left. The zip must hold the same files.
#   windows_installer_test.sh PACKAGE_DIR
set -uo pipefail
# shellcheck source=tests/package/checks.sh
source "$(dirname "$0")/checks.sh"
setup="$1/quorvel-${version}-win64-setup.exe"
zip="$1/quorvel-${version}-win64.zip"
if [ ! -f "$setup" ] || [ ! -f "$zip" ]; then
  echo "no $setup or $zip" >&2
  exit 1
fi

export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
wine_run="$root/cmake/wine-run.sh"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'
target='C:\quorvel-package-test\Quorvel'
folder="$WINEPREFIX/drive_c/quorvel-package-test/Quorvel"
rm -rf "$WINEPREFIX/drive_c/quorvel-package-test"
# Output of a Windows program without its line ends' carriage returns.
win() { "$wine_run" "$@" | tr -d '\r'; }

check "silent install" win "$setup" /S "/D=$target"
check "quorvel-cli.exe --version" same "quorvel-cli $version" win "$folder/quorvel-cli.exe" --version
check "quorvel.exe --version" same "quorvel $version" win "$folder/quorvel.exe" --version
check "quorvel-cli.exe info on the sample" same \
  $'Time: 2009/05/01 23:30:00 ~ 2009/05/02 00:19:55\nSize(Record): 600\nTimes in GMT+8:00.' \
  win "$folder/quorvel-cli.exe" info "Z:${root//\//\\}\\samples\\sample.dlg" --tz GMT+8:00
menu="$(find "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Quorvel' -type d 2>/dev/null)"
for entry in "Quorvel" "Quorvel command line" "Quorvel README" "Uninstall Quorvel"; do
  check "Start menu: $entry" test -f "$menu/$entry.lnk"
done
check "Apps & features: version" grep -q "DisplayVersion.*$version" <(win reg query "$key")
check "Apps & features: the chosen folder" grep -qiF "InstallLocation    REG_SZ    $target" <(win reg query "$key")

# The zip holds the folder the installer copies (its uninstaller aside).
installed="$(cd "$folder" && find . -type f ! -name Uninstall.exe | sed 's|^\./||' | sort)"
zipped="$(cmake -E tar tf "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort)"
check "the zip holds the installed files" same "$installed" echo "$zipped"

# The uninstaller copies itself away and returns at once: wait for the copy to finish.
check "silent uninstall" win "$folder/Uninstall.exe" /S
gone() {
  for _ in $(seq 60); do
    [ ! -e "$folder" ] && [ ! -e "$menu" ] && ! win reg query "$key" >/dev/null 2>&1 && return 0
    sleep 0.5
  done
  ls -R "$folder" "$menu" 2>&1
  return 1
}
check "uninstall leaves no files, Start-menu entries or registry entry" gone
rm -rf "$WINEPREFIX/drive_c/quorvel-package-test"

finish
