#!/bin/bash
# The README's GNU parallel line, run as written over case directories made
# from the stored cases, the built conv2model first on the PATH: the job
# log holds every case's status, every output is the stored one, and the
# cases that fail (a data stop, a short input grid file) are there with
# their status.  Then, with those cases mended, the README's --retry-failed
# line runs them, and only them, again.  The README's listing of the failed
# cases names them before the retry and none after.
#
# usage: parallel_line_test.sh BINDIR GOLDEN README
set -u
[ $# -eq 3 ] || { echo "usage: $0 BINDIR GOLDEN README" >&2; exit 2; }
bindir=$(realpath "$1") GOLDEN=$(realpath "$2") readme=$(realpath "$3")
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"

command -v parallel > /dev/null ||
  die "GNU parallel is not installed (scripts/install-deps.sh installs it)"
[ -x "$bindir/conv2model" ] || die "$bindir/conv2model: no such program"

line=$(fenced_line "$readme" 'parallel ')
retry=$(fenced_line "$readme" 'parallel --retry-failed')
listing=$(fenced_line "$readme" "awk -F'\\t'")
[ -n "$line" ] || die "$readme: no code line that starts with 'parallel '"
[ -n "$retry" ] || die "$readme: no code line that starts with 'parallel --retry-failed'"
[ -n "$listing" ] || die "$readme: no code line that lists the failed cases from the job log"
joblog=$(sed -n 's/.*--joblog \([^ ]*\).*/\1/p' <<< "$line")
[ -n "$joblog" ] || die "the README's line keeps no job log: $line"
echo "line:  $line"
echo "retry: $retry"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/c2m-parallel.XXXXXX") || die "no scratch directory"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || die "cannot enter $scratch"
export PATH="$bindir:$PATH" PARALLEL_HOME="$scratch/.parallel"

names=$(golden_cases)
failing=""
for name in $names; do
  make_case "$name" "cases/$name"
  [ "$(golden_status "$name")" = 0 ] || failing="$failing $name"
done
[ -n "$failing" ] || die "no stored case fails: nothing to retry"

# Prints "NAME EXITVAL SIGNAL RUNS" for every case in the job log, by the
# latest of its RUNS runs (a retry adds a line for the same sequence number).
joblog_cases() {
  awk -F'\t' 'NR > 1 {
      if (match($9, /cases\/[^\/ ]+\//) == 0) { print "unrecognised-command", $9; next }
      name = substr($9, RSTART + 6, RLENGTH - 7)
      exitval[name] = $7; signal[name] = $8; runs[name]++
    }
    END { for (n in runs) print n, exitval[n], signal[n], runs[n] }' "$joblog" | sort
}

# Checks the job log against the expected "NAME STATUS RUNS" lines.
check_joblog() {
  local want=$1 got
  got=$(joblog_cases | awk '{ print $1, ($3 == 0 ? $2 : "signal-" $3), $4 }')
  [ "$want" = "$got" ] || bad "$joblog holds (case, status, runs)
$got
where it should hold
$want"
}

bash -c "$line"
status=$?
nfailing=$(wc -w <<< "$failing")
[ "$status" -eq "$nfailing" ] ||
  bad "parallel ended with status $status, not the number of failed cases ($nfailing)"
want=$(for n in $names; do echo "$n $(golden_status "$n") 1"; done | sort)
check_joblog "$want"
for name in $names; do check_case "cases/$name" "$name"; done

# The listing of the failed cases: one command per failing case.
check_listing() {
  local want=$1 got
  got=$(bash -c "$listing" | grep -o 'cases/[^/ ]*/' | sort -u | paste -s -d ' ')
  [ "$got" = "$want" ] || bad "the README's listing of the failed cases gives '$got', not '$want'"
}
check_listing "$(for n in $failing; do echo "cases/$n/"; done | sort | paste -s -d ' ')"

# Mend every failing case by giving it the files of a case that converts;
# its outputs must then be that case's.
good=$(for n in $names; do [ "$(golden_status "$n")" = 0 ] && echo "$n"; done | head -n 1)
for name in $failing; do make_case "$good" "cases/$name"; done
bash -c "$retry"
status=$?
[ "$status" -eq 0 ] || bad "the retry ended with status $status"
want=$(for n in $names; do
         runs=1
         case " $failing " in *" $n "*) runs=2 ;; esac
         echo "$n 0 $runs"
       done | sort)
check_joblog "$want"
check_listing ""
for name in $names; do
  case " $failing " in
    *" $name "*) check_case "cases/$name" "$good" ;;
    *) check_case "cases/$name" "$name" ;;
  esac
done
finish
