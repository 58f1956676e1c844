#!/bin/bash
# The Slurm array script on a real one-node cluster started on this machine
# for the test: munged with its own key and socket, slurmctld and slurmd
# with a slurm.conf of their own, on free ports, every file under a scratch
# directory.  The array runs over case directories made from the stored
# cases; every status file, log and output is checked; the failed cases are
# mended and submitted again with failed-cases --indices.  The daemons are
# stopped and the scratch directory removed however the test ends.  A
# daemon that does not come up fails the test, with its log.
#
# usage: slurm_cluster_test.sh BINDIR GOLDEN EXAMPLES
set -u
[ $# -eq 3 ] || { echo "usage: $0 BINDIR GOLDEN EXAMPLES" >&2; exit 2; }
bindir=$(realpath "$1") GOLDEN=$(realpath "$2") examples=$(realpath "$3")
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
script=$examples/convert-array.sbatch
failed_cases=$examples/failed-cases

for p in munged munge unmunge slurmctld slurmd sbatch scontrol sinfo squeue scancel python3; do
  command -v "$p" > /dev/null ||
    die "$p is not installed (scripts/install-deps.sh installs munge and slurm-wlm)"
done
[ -x "$bindir/conv2model" ] || die "$bindir/conv2model: no such program"

# munged wants every directory above its socket searchable by all.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/c2m-slurm.XXXXXX") || die "no scratch directory"
chmod 755 "$scratch"
pids=()
jobs_submitted=()
waiting=""

show_log() {
  [ -s "$1" ] || return 0
  echo "---- $1 (last 40 lines)" >&2
  tail -n 40 "$1" >&2
}

# The daemons' output: with -D and --foreground they log to standard error
# too, which also holds what they say before their log files are open.
show_logs() {
  local f
  for f in "$scratch"/munge/munged.out "$scratch"/log/slurmctld.out "$scratch"/log/slurmd.out; do
    show_log "$f"
  done
}

# Stops what the test started, newest first: the jobs, slurmd, slurmctld,
# munged; each by its process id, with a grace period before SIGKILL.
cleanup() {
  local status=$? pid i out
  trap - EXIT INT TERM HUP
  [ "$status" -eq 0 ] || show_logs
  if [ -n "$waiting" ]; then
    kill -TERM "$waiting" 2> /dev/null
    wait "$waiting" 2> /dev/null
    out=$(head -n 1 sbatch.out 2> /dev/null)
    [ -z "$out" ] || jobs_submitted+=("${out%%;*}")
  fi
  if [ ${#jobs_submitted[@]} -gt 0 ]; then
    scancel "${jobs_submitted[@]}" 2> /dev/null
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill -TERM "$pid" 2> /dev/null || continue
    for _ in $(seq 50); do
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.2
    done
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
  done
  rm -rf "$scratch"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Waits up to SECONDS for COMMAND to succeed, failing the test (with the
# logs) if it does not or if the daemon PID dies meanwhile.
wait_for() {
  local what=$1 seconds=$2 pid=$3
  shift 3
  local deadline=$((SECONDS + seconds))
  until "$@" > /dev/null 2>&1; do
    kill -0 "$pid" 2> /dev/null || die "$what: the daemon (pid $pid) ended"
    [ "$SECONDS" -lt "$deadline" ] || die "$what: not within $seconds s"
    sleep 0.2
  done
}

# Starts a daemon in the foreground of a background job, its standard
# output and error in OUT (a daemon holding the test's own output open would
# keep CTest waiting).
start() {
  local out=$1
  shift
  "$@" < /dev/null > "$out" 2>&1 &
  pids+=($!)
}

cd "$scratch" || die "cannot enter $scratch"
mkdir -m 700 munge-key && mkdir -m 755 munge state spool log run cases ||
  die "cannot make the directories of the cluster under $scratch"

# munged, with a key of its own: nothing here can talk to another munged.
head -c 1024 /dev/urandom > munge-key/munge.key && chmod 600 munge-key/munge.key ||
  die "cannot make the munge key"
socket=$scratch/munge/munge.socket
start munge/munged.out munged --foreground --force --socket="$socket" \
  --key-file="$scratch/munge-key/munge.key" --pid-file="$scratch/munge/munged.pid" \
  --log-file="$scratch/munge/munged.log" --seed-file="$scratch/munge/munged.seed"
wait_for "munged answering on $socket" 15 "${pids[-1]}" \
  bash -c 'munge -n -S "$1" | unmunge -S "$1"' - "$socket"

# Two ports nothing listens on, below the usual ephemeral range, so that
# neither clashes with a Slurm that runs here for real (6817, 6818).
ports=$(python3 -c '
import random, socket
found = []
while len(found) < 2:
    p = random.randrange(20000, 32000)
    if p in found: continue
    s = socket.socket()
    try:
        s.bind(("", p)); found.append(p)
    except OSError:
        pass
    finally:
        s.close()
print(*found)') || die "cannot find free ports"
read -r ctld_port slurmd_port <<< "$ports"

user=$(id -un)
host=$(hostname -s)
cpus=$(nproc)
mem=$(awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo)
[ "$mem" -le 1024 ] || mem=1024

cat > slurm.conf <<EOF
# A one-node cluster for the test, everything under $scratch.
ClusterName=c2mtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
SchedulerParameters=batch_sched_delay=0
MpiDefault=none
SwitchType=switch/none
MailProg=/bin/true
ReturnToService=2
PlugStackConfig=$scratch/plugstack.conf
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/run/slurmctld.pid
SlurmdPidFile=$scratch/run/slurmd.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd.log
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$mem State=UNKNOWN
PartitionName=c2m Nodes=$host Default=YES MaxTime=10 State=UP
EOF
: > plugstack.conf
export SLURM_CONF=$scratch/slurm.conf

start log/slurmctld.out slurmctld -D -f "$SLURM_CONF"
wait_for "slurmctld answering on port $ctld_port" 30 "${pids[-1]}" \
  bash -c 'scontrol ping | grep -q UP'
start log/slurmd.out slurmd -D -f "$SLURM_CONF"
wait_for "node $host idle" 30 "${pids[-1]}" \
  bash -c '[ "$(sinfo -h -n "$1" -o %T)" = idle ]' - "$host"
echo "cluster up: node $host, $cpus CPUs, ports $ctld_port and $slurmd_port"

# The cases and their list, as the README says to make it.
names=$(golden_cases)
failing=""
for name in $names; do
  make_case "$name" "cases/$name"
  [ "$(golden_status "$name")" = 0 ] || failing="$failing $name"
done
printf '%s\n' cases/*/ > cases.txt
n=$(wc -l < cases.txt)
export PATH="$bindir:$PATH"

# Submits the array (sbatch's own options first), waits for it and leaves
# the job id in $job and sbatch's status in $status: the highest status of
# the tasks.
# sbatch waits in the background so that a signal to the test stops it at
# once (bash holds its traps until a foreground command ends).
submit() {
  local out
  timeout 60 sbatch --parsable --wait "$@" "$script" cases.txt > sbatch.out 2> sbatch.err &
  waiting=$!
  wait "$waiting"
  status=$?
  waiting=""
  out=$(head -n 1 sbatch.out)
  job=${out%%;*}
  [ -z "$job" ] || jobs_submitted+=("$job")
  [ "$status" -ne 124 ] || die "the array ${job:-?} did not end within 60 s: $(squeue 2>&1)"
  [ -n "$job" ] || die "sbatch $* did not submit (status $status): $(< sbatch.err)"
}

# Checks every case: its status file and its Slurm output (when RAN, the
# task numbers of the job JOB), then the log and the outputs.
check_cases() {
  local ran=$1 i=0 name want expected
  for name in $names; do
    i=$((i + 1))
    expected=$name
    case " $2 " in *" $name "*) expected=$3 ;; esac
    want=$(golden_status "$expected")
    [ "$(cat "cases/$name/convert.status" 2> /dev/null)" = "$want" ] ||
      bad "cases/$name: convert.status does not hold $want"
    check_case "cases/$name" "$expected" convert.status
    if [[ " $ran " == *" $i "* ]]; then
      grep -q "^task $i: cases/$name: status $want\$" "slurm-${job}_$i.out" 2> /dev/null ||
        bad "slurm-${job}_$i.out does not give task $i's status $want"
    elif [ -e "slurm-${job}_$i.out" ]; then
      bad "job $job ran task $i, whose case had converted"
    fi
  done
}

submit --array=1-"$n"
want=$(for name in $names; do golden_status "$name"; echo; done | sort -n | tail -n 1)
[ "$status" -eq "$want" ] || bad "sbatch --wait ended with status $status, not $want (the highest)"
check_cases "$(seq -s ' ' "$n")" "" ""

# Mend the failed cases with the files of one that converts, and submit the
# failed ones again by their line numbers.
good=$(for name in $names; do [ "$(golden_status "$name")" = 0 ] && echo "$name"; done | head -n 1)
for name in $failing; do make_case "$good" "cases/$name"; done
indices=$(bash "$failed_cases" --indices cases.txt)
want_indices=$(i=0; for name in $names; do
                 i=$((i + 1))
                 case " $failing " in *" $name "*) echo "$i" ;; esac
               done)
got_indices=$(for part in ${indices//,/ }; do seq "${part%-*}" "${part#*-}"; done)
[ "$got_indices" = "$want_indices" ] ||
  bad "failed-cases --indices gives '$indices', not the lines $(paste -s -d , <<< "$want_indices")"
submit --array="$indices"
[ "$status" -eq 0 ] || bad "the second array ended with status $status"
check_cases "$(paste -s -d ' ' <<< "$want_indices")" "$failing" "$good"
[ -z "$(bash "$failed_cases" cases.txt)" ] || bad "failed-cases still lists cases after the second array"
finish
