# shellcheck shell=bash
# Shared by the batch tests (sourced): case directories made from the stored
# whole cases in tests/golden, and the checks of what a batch run left in
# them.  GOLDEN must be set to that directory before these are used.

failures=0

# Reports a mismatch and carries on, so that one run shows every fault.
bad() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Stops the test at once (the EXIT trap of the test cleans up).
die() {
  echo "FAIL: $*" >&2
  exit 1
}

# Ends the test with the verdict of the checks so far.
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# The stored cases whose input grid file is DIR/case.bin, the name a case
# directory of a batch uses (path_with_blank keeps its input elsewhere).
golden_cases() {
  local d
  for d in "$GOLDEN"/*/; do
    [ "$(head -n 1 "$d/case/stdin.txt")" = case.bin ] && basename "$d"
  done
}

golden_status() {
  tr -d '\n' < "$GOLDEN/$1/expected/status"
}

# Makes DEST a case directory holding the input grid file, the run
# description and the date file of the stored case NAME; what DEST held
# before goes.
make_case() {
  local name=$1 dest=$2
  rm -rf "$dest"
  mkdir -p "$dest"
  cp "$GOLDEN/$name/case/case.bin" "$GOLDEN/$name/case/InputModelInf.txt" \
     "$GOLDEN/$name/case/adate.txt" "$dest/" || die "cannot copy the stored case $name to $dest"
}

# Checks the case directory DIR after a batch run of the stored case NAME:
#  - DIR/convert.log is the stored log when the case converts, and begins
#    with it and goes on (the diagnostic) when it does not;
#  - every expected output is there byte for byte;
#  - nothing else is there: no output of a case that stopped, no file left
#    under a temporary name; only the inputs, the log and (EXTRA, a list of
#    names) what the runner adds, such as convert.status.
check_case() {
  local dir=$1 name=$2 extra=${3:-}
  local expected=$GOLDEN/$name/expected status log f want got
  status=$(golden_status "$name")
  log=$dir/convert.log
  if [ ! -f "$log" ]; then
    bad "$dir: no convert.log"
  elif [ "$status" = 0 ]; then
    # The converter's warnings (on standard error) stand between the log
    # lines; the log itself must be whole and in order.
    grep -v '^conv2model convert: warning: ' "$log" | cmp -s - "$expected/stdout" ||
      bad "$dir: convert.log differs from the log of $name"
  else
    want=$(stat -c %s "$expected/stdout")
    got=$(stat -c %s "$log")
    grep -v '^conv2model convert: warning: ' "$log" | head -c "$want" | cmp -s - "$expected/stdout" ||
      bad "$dir: convert.log does not begin with the log of $name"
    [ "$got" -gt "$want" ] || bad "$dir: convert.log of $name (status $status) holds no diagnostic"
  fi
  want="InputModelInf.txt adate.txt case.bin convert.log $extra"
  if [ -d "$expected/files" ]; then
    for f in $(cd "$expected/files" && find . -type f | sed 's|^\./||'); do
      want="$want $f"
      if [ ! -f "$dir/$f" ]; then
        bad "$dir: $f is missing"
      else
        cmp -s "$dir/$f" "$expected/files/$f" || bad "$dir: $f differs from that of $name"
      fi
    done
  fi
  want=$(printf '%s\n' $want | sort)
  got=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)
  [ "$want" = "$got" ] || bad "$dir: holds the files
$got
where a run of $name leaves
$want"
}

# The first line of a fenced code block of the markdown file FILE that
# begins (past its indentation) with PREFIX.
# (PREFIX reaches awk through the environment, which keeps its backslashes.)
fenced_line() {
  PREFIX=$2 awk '
    /^[ \t]*```/ { fenced = !fenced; next }
    fenced { sub(/^[ \t]+/, ""); if (index($0, ENVIRON["PREFIX"]) == 1) { print; exit } }
  ' "$1"
}
