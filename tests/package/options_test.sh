#!/usr/bin/env bash
# The manual pages and the shell completions against the programs: every
# option `peelbox-cli --help` shows is in its page and offered by both
# completions, none of them offers an option the program does not have, and
# the bash completion offers what each word wants.
#   options_test.sh PEELBOX_CLI MAN_DIR COMPLETION_DIR
# Exits 77 (skipped) without bash-completion.
set -uo pipefail
export LC_ALL=C  # one order for sort, comm and the cases below
cli=$(realpath "$1") man_dir=$(realpath "$2") completion_dir=$(realpath "$3")
bash_completion=/usr/share/bash-completion/bash_completion
[ -r "$bash_completion" ] || { echo "bash-completion is not installed" >&2; exit 77; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# One option a line, sorted.
help_options() {  # "  -l, --list   ..." and "      --json   ..."
  "$1" --help | sed -nE 's/^ +(-[[:alnum:]], )?(--[[:alnum:]-]+).*/\1\2/p' | tr -d , | tr ' ' '\n' | sort
}
man_options() {  # the items of OPTIONS: "\fB-l\fR, \fB--list\fR", then an indented text
  zcat "$1" | sed -nE '/^\.SH "?OPTIONS"?$/,/^\.SH/p' | awk '/^\.RS/ && item ~ /^\\fB-/ { print item } { item = $0 }' |
    grep -oE '^(\\fB-[^\\]+\\fR(, )?)+' | sed -E 's/\\f[BR]//g; s/, /\n/g' | sort
}
bash_options() {  # what TAB offers after "-"
  complete_bash "$1 -" | sort
}
zsh_options() {  # the words given to _arguments: '(-l --list)--list[...]'
  grep -oE "^  '\([^)]*\)-[^=[]+" "$1" | sed 's/.*)//' | sort
}

# COMPREPLY for a command line, the cursor at its end, one word a line.
complete_bash() {
  ( # A word after "=" and in the middle of a list, as bash hands them over.
    source "$bash_completion"
    compopt() { :; }  # only a completion that bash itself runs may set options
    program=${1%% *}
    source "$completion_dir/bash/$program"
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$(complete -p "$program" | sed -E 's/.*-F ([^ ]+) .*/\1/')" "$program" "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]:-}"
    printf '%s\n' "${COMPREPLY[@]}"
  )
}

same() {  # WHAT EXPECTED ACTUAL
  local missing extra
  missing=$(comm -23 <(printf '%s\n' "$2" | sort -u) <(printf '%s\n' "$3" | sort -u) | xargs)
  extra=$(comm -13 <(printf '%s\n' "$2" | sort -u) <(printf '%s\n' "$3" | sort -u) | xargs)
  [ -z "$missing" ] || fail "$1 lacks: $missing"
  [ -z "$extra" ] || fail "$1 has what it should not: $extra"
}

expected=$(help_options "$cli")
[ "$(wc -l <<<"$expected")" -ge 10 ] || fail "found only these options in --help: $(xargs <<<"$expected")"
same "peelbox-cli.1" "$expected" "$(man_options "$man_dir/peelbox-cli.1.gz")"
same "bash completion of peelbox-cli" "$expected" "$(bash_options peelbox-cli)"
same "zsh completion of peelbox-cli" "$expected" "$(zsh_options "$completion_dir/zsh/_peelbox-cli")"
# The dialog has no --help of its own yet: its page is the reference.
if [ -e "$completion_dir/bash/peelbox" ]; then
  expected=$(man_options "$man_dir/peelbox.1.gz")
  same "bash completion of peelbox" "$expected" "$(bash_options peelbox)"
  same "zsh completion of peelbox" "$expected" "$(zsh_options "$completion_dir/zsh/_peelbox")"
fi
if command -v zsh >/dev/null; then
  for file in "$completion_dir"/zsh/_*; do
    zsh -n "$file" || fail "$file is not valid zsh"
  done
fi

# What TAB offers, in a folder of documents and others.
workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT
cd "$workdir" && mkdir sub && touch a.psd B.PSB c.txt d.png || exit 1
while IFS='|' read -r line offered; do
  line=${line%"${line##*[! ]}"}  # the table's padding, not a typed space
  line=${line//\\s/ }
  actual=$(complete_bash "$line" | sort | xargs)
  [ "$actual" = "$(xargs <<<"$offered")" ] || fail "[$line] offers '$actual', not '$(xargs <<<"$offered")'"
done <<'CASES'
peelbox-cli --form               | --formats
peelbox-cli --vers               | --version
peelbox-cli --formats\s          | gif jpeg png webp
peelbox-cli --formats p          | png
peelbox-cli --formats png,       | png,gif png,jpeg png,webp
peelbox-cli --formats gif,png,jpeg,webp, |
peelbox-cli --color\s            | keep srgb
peelbox-cli --formats=g          | gif
peelbox-cli -t\s                 |
peelbox-cli --threads=           |
peelbox-cli\s                    | B.PSB a.psd sub
peelbox-cli a.psd s              | sub
peelbox-cli --list --json a      | a.psd
peelbox-cli -- -                 |
CASES

if [ -e "$completion_dir/bash/peelbox" ]; then
  actual=$(complete_bash "peelbox " | sort | xargs)
  [ "$actual" = "B.PSB a.psd sub" ] || fail "[peelbox ] offers '$actual'"
fi

[ "$failures" -eq 0 ] && echo "options_test: all passed"
exit $((failures > 0))
