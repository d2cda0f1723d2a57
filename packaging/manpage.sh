#!/bin/sh
# Writes the gzipped manual page of a command-line program from its own --help and --version,
# with help2man. A program with subcommands (quorvel-cli --command-table lists them) gets a
# COMMANDS section made of each subcommand's --help, so the page follows the commands as they are.
#   manpage.sh PROGRAM STATIC_INCLUDE OUTPUT.1.gz
set -eu
program=$1
static_include=$2
output=$3
work="$output.d"
rm -rf "$work"
mkdir -p "$work"

# roff from one subcommand's help: the summary, the usage line, then each option or nested
# subcommand as a tagged paragraph. Option lines are "  NAME[  DESCRIPTION]", a description that
# does not fit beside its name follows on lines indented further.
to_roff() {
  awk '
    function esc(s) { gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s); return s }
    function text(s) { gsub(/\\/, "\\e", s); sub(/^[.'"'"']/, "\\\\&&", s); return s }
    NR == 1 { print text($0); next }
    /^Usage: / { print ".PP"; print "\\fBUsage:\\fR " esc(substr($0, 8)); next }
    /^[A-Z][A-Za-z ]*:$/ { print ".PP"; print text($0); next }
    /^  [^ ]/ {
      line = substr($0, 3)
      gap = match(line, /   */)
      if (gap > 0 && substr(line, gap + RLENGTH) != "") {
        print ".TP"; print "\\fB" esc(substr(line, 1, gap - 1)) "\\fR"
        print text(substr(line, gap + RLENGTH))
      } else {
        sub(/ +$/, "", line); print ".TP"; print "\\fB" esc(line) "\\fR"
      }
      next
    }
    /^   +[^ ]/ { line = $0; sub(/^ +/, "", line); print text(line); next }
  '
}

if "$program" --command-table >"$work/table" 2>/dev/null; then
  name=$(basename "$program")
  # Field 1 of each line is the command's path; the first line is the program itself.
  tail -n +2 "$work/table" | cut -d'|' -f1 | while read -r path; do
    args=${path#"$name" }
    {
      echo ".SS \"$path\""
      # shellcheck disable=SC2086 # the subcommand path is split into its words on purpose
      "$program" $args --help | to_roff
    } >>"$work/commands.h2m"
  done
fi

# The COMMANDS section comes first so that it stands right after OPTIONS.
set --
if [ -s "$work/commands.h2m" ]; then
  sed -i '1i [COMMANDS]' "$work/commands.h2m"
  set -- --include "$work/commands.h2m"
fi
help2man --no-info --no-discard-stderr "$@" --include "$static_include" \
  --output "$work/page.1" "$program"
gzip -9n -c "$work/page.1" >"$output"
rm -rf "$work"
