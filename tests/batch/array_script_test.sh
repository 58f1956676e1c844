#!/bin/bash
# The Slurm array script and its re-submission helper, run here without
# Slurm: a task is the script run with SLURM_ARRAY_TASK_ID set, as slurmd
# runs it.  The real cluster is batch_slurm_array's business; this covers
# what a task does with its line of the list, its status and log files,
# and which cases failed-cases hands back.
#
# usage: array_script_test.sh BINDIR GOLDEN EXAMPLES
set -u
[ $# -eq 3 ] || { echo "usage: $0 BINDIR GOLDEN EXAMPLES" >&2; exit 2; }
bindir=$(realpath "$1") GOLDEN=$(realpath "$2") examples=$(realpath "$3")
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
script=$examples/convert-array.sbatch
failed_cases=$examples/failed-cases

scratch=$(mktemp -d "${TMPDIR:-/tmp}/c2m-array.XXXXXX") || die "no scratch directory"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || die "cannot enter $scratch"
export PATH="$bindir:$PATH"
unset CONV2MODEL CASE_INPUT

# Runs task TASK of the list LIST ("-" for no argument); leaves its status
# in $status and its standard error in $err.
run_task() {
  local task=$1 list=$2
  if [ "$list" = - ]; then
    SLURM_ARRAY_TASK_ID=$task bash "$script" > out.txt 2> err.txt
  else
    SLURM_ARRAY_TASK_ID=$task bash "$script" "$list" > out.txt 2> err.txt
  fi
  status=$?
  err=$(< err.txt)
}

# Tasks that get no case: each must end with status 2, say why on standard
# error and leave no status file anywhere.
mkdir -p cases/a
make_case full_7x5x4 cases/a
printf 'cases/a/\n\ncases/nowhere/\n' > list.txt
mkdir list-dir.txt
while IFS='|' read -r what task list want; do
  run_task "$task" "$list"
  [ "$status" -eq 2 ] || bad "$what: status $status, not 2"
  [[ $err == *"$want"* ]] || bad "$what: standard error does not say '$want': $err"
done <<'EOF'
no list given|1|-|usage: sbatch --array=1-N
not an array task||list.txt|not run as a task of a job array
task 0|0|list.txt|not run as a task of a job array
a task id that is not a number|x1|list.txt|not run as a task of a job array
a list that does not exist|1|missing.txt|missing.txt: cannot read the list
a list that is a directory|1|list-dir.txt|list-dir.txt: cannot read the list
a task past the end of the list|4|list.txt|no line 4 (the list has 3)
an empty line|2|list.txt|line 2 is empty
a directory that does not exist|3|list.txt|cases/nowhere (line 3 of list.txt): not a directory
EOF
[ -z "$(find . -name 'convert.status*')" ] || bad "a task that got no case left a status file"

# Tasks that convert: every stored case, named with and without the
# trailing slash, the last line without its newline.
names=$(golden_cases)
rm -rf cases && mkdir cases
i=0
for name in $names; do
  make_case "$name" "cases/$name"
  i=$((i + 1))
  if [ $((i % 2)) -eq 0 ]; then printf 'cases/%s/\n' "$name"; else printf '%s/cases/%s\n' "$scratch" "$name"; fi
done | head -c -1 > list.txt
i=0
for name in $names; do
  i=$((i + 1))
  run_task "$i" list.txt
  want=$(golden_status "$name")
  [ "$status" = "$want" ] || bad "task $i ($name): status $status, not $want: $err"
  [ "$(< "cases/$name/convert.status")" = "$want" ] 2> /dev/null ||
    bad "task $i ($name): convert.status does not hold $want"
  grep -q "^task $i: .*cases/$name: status $want\$" out.txt ||
    bad "task $i ($name): the job output does not give the status: $(< out.txt)"
  check_case "cases/$name" "$name" convert.status
done

# Directories whose names begin with a dash are directories like any other,
# never options of the commands they are handed to; "-" alone is not the
# previous directory of cd.  failed-cases hands back their lines as written.
printf -- '-x/\n--help/\n-/\n' > dashes.txt
i=0
for name in -x --help -; do
  make_case full_7x5x4 "./$name"
  i=$((i + 1))
  run_task "$i" dashes.txt
  [ "$status" = 0 ] || bad "task $i ($name/): status $status, not 0: $err"
  check_case "./$name" full_7x5x4 convert.status
done
rm -f ./-x/convert.status
got=$(bash "$failed_cases" dashes.txt 2> err.txt | paste -s -d ' ')
[ "$got" = "-x/" ] || bad "failed-cases on names with a dash: '$got', not '-x/': $(< err.txt)"
rm -rf ./-x ./--help ./-

# A status from an earlier run goes before the converter starts: a run that
# fails replaces it, and a run that is stopped leaves none.
printf 'cases/a\n' > one.txt
make_case stop_temperature cases/a
echo 0 > cases/a/convert.status
run_task 1 one.txt
[ "$(< cases/a/convert.status)" = 1 ] || bad "a data stop after a converted run: convert.status is not 1"
echo 0 > cases/a/convert.status
cat > slow-converter <<'EOF'
#!/bin/bash
echo started
exec sleep 30
EOF
chmod +x slow-converter
CONV2MODEL=$scratch/slow-converter SLURM_ARRAY_TASK_ID=1 setsid bash "$script" one.txt > out.txt 2>&1 &
task_pid=$!
for _ in $(seq 100); do
  grep -q started cases/a/convert.log 2> /dev/null && break
  sleep 0.1
done
# Slurm stops a task by signalling every process of it.
kill -TERM -- "-$task_pid"
wait "$task_pid"
status=$?
[ "$status" -ne 0 ] || bad "a stopped task ended with status 0"
[ ! -e cases/a/convert.status ] || bad "a stopped task left convert.status: $(< cases/a/convert.status)"
[ -z "$(find cases -name '*.partial-*')" ] || bad "a stopped task left a partial file"

# Faults of the task itself are status 2, never 1 (a data stop).
make_case full_7x5x4 cases/a
mkdir cases/a/convert.log
run_task 1 one.txt
[ "$status" -eq 2 ] || bad "a log that cannot be written: status $status, not 2"
[[ $err == *"cases/a/convert.log: cannot write the log"* ]] || bad "a log that cannot be written: $err"
[ ! -e cases/a/convert.status ] || bad "a log that cannot be written: a status file was left"
rmdir cases/a/convert.log
CONV2MODEL=no-such-converter run_task 1 one.txt
[ "$status" -eq 2 ] || bad "a converter that is not there: status $status, not 2"
[[ $err == *"no-such-converter: no such program"* ]] || bad "a converter that is not there: $err"

# failed-cases: the lines whose convert.status is missing or not 0, blank
# lines passed over, consecutive line numbers joined into ranges.
rm -rf cases && mkdir cases
mkdir cases/c1 cases/c2 cases/c3 cases/c4 cases/c5 cases/c6 cases/c7
echo 0 > cases/c1/convert.status
echo 1 > cases/c2/convert.status
echo 2 > cases/c3/convert.status
echo 0 > cases/c5/convert.status
echo 'zero' > cases/c6/convert.status
echo 0 > cases/c7/convert.status
printf 'cases/c1/\ncases/c2\ncases/c3/\ncases/c4/\ncases/c5\n\ncases/c6/\ncases/c7/\n' > list.txt
while IFS='|' read -r what args want; do
  # shellcheck disable=SC2086
  got=$(bash "$failed_cases" $args 2> err.txt | paste -s -d ' ')
  [ "$got" = "$want" ] || bad "failed-cases $what: '$got', not '$want'"
done <<'EOF'
lists the failed lines as written|list.txt|cases/c2 cases/c3/ cases/c4/ cases/c6/
gives their line numbers as ranges|--indices list.txt|2-4,7
EOF
for d in cases/c*; do echo 0 > "$d/convert.status"; done
[ -z "$(bash "$failed_cases" --indices list.txt)" ] || bad "failed-cases --indices prints something when every case converted"
bash "$failed_cases" missing.txt 2> err.txt
[ $? -eq 2 ] || bad "failed-cases on a list that does not exist: not status 2"
grep -q 'missing.txt: cannot read' err.txt || bad "failed-cases on a list that does not exist: $(< err.txt)"
finish
