#!/usr/bin/env bash
# The manual page keeps up with the command and the library: every option
# that `orvex --help` and `orvex COMMAND --help` name, every command, and
# every setting in orvex.h's list is in orvex.1; where groff is installed,
# the page also renders without a warning.
#   check_man_page.sh ORVEX_COMMAND SOURCE_DIR
set -euo pipefail
orvex=$1
source=$2
page=$source/tools/orvex/orvex.1
missing=0

need() {
  grep -qF -- "$1" "$page" || { echo "orvex.1 does not mention $2"; missing=1; }
}

for command in soap get post xml download upload; do
  need ".SS \"$command " "the command $command"
  while read -r option; do
    need "${option//-/\\-}" "$option of orvex $command"
  done < <("$orvex" "$command" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
done
while read -r option; do
  need "${option//-/\\-}" "$option of orvex"
done < <("$orvex" --help | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z-]+' | sort -u)

# The settings are listed in the comment at the top of orvex.h.
while read -r variable; do
  need "$variable" "the setting $variable"
done < <(sed -n '/Settings, read from the environment/,/\*\//p' "$source/include/orvex.h" |
  grep -oE '\b(ORVEX_[A-Z_]+|[a-z]+_proxy|TMPDIR|PATH)\b' | sort -u)

if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "groff warns about orvex.1:"; echo "$warnings"; missing=1; }
else
  echo "groff is not installed: the page's rendering is not checked"
fi
[ "$missing" -eq 0 ] && echo "orvex.1: complete"
exit "$missing"
