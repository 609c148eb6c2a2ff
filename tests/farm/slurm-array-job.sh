#!/usr/bin/env bash
# The Slurm recipe of docs/farm.md on a real single-node cluster started here: the documented
# script, submitted as an array job over an 8-frame sequence in chunks, runs the program from an
# installed and then moved prefix. One task is killed while it writes a frame and requeued; every
# frame must then equal, to the bit, the same frame rendered locally. Needs root, slurm-wlm and
# munge; fails, saying why, when the cluster cannot start.
#
# Usage: slurm-array-job.sh BUILD_FOLDER FARM_DOC
set -euo pipefail

build=$1
doc=$2
first=1001
lastFrame=1008
chunk=3
settings=(--set UseSSAO=1 --set Matrix=6 --set FilterMethod=Calculated\ Normals)

say() { echo "slurm-array-job: [${SECONDS} s] $*" >&2; }
fail() {
    say "FAILED: $*"
    exit 1
}

# waitFor SECONDS WHAT COMMAND...: runs COMMAND until it succeeds, failing after SECONDS.
waitFor() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "$what: not within $seconds s"
        sleep 0.2
    done
}

[ "$(id -u)" -eq 0 ] || fail "the cluster's daemons start as root; this runs as $(id -un)"
for command in munged mungekey slurmctld slurmd sbatch sinfo squeue scontrol scancel idiff; do
    command -v "$command" >/dev/null ||
        fail "$command is missing: install slurm-wlm, munge and openimageio-tools (./run test does)"
done

scratch=$(mktemp -d /tmp/umbrix-slurm-XXXXXX)
# Every process of this cluster carries this in its environment: the daemons, the job steps and
# the tasks. Cleaning up ends exactly those.
marker="UMBRIX_SLURM_TEST=$scratch"
export SLURM_CONF=$scratch/slurm.conf

cluster() { env "$marker" "$@"; }

markedProcesses() {
    local process
    for process in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "$marker" && echo "${process#/proc/}"
    done
    return 0
}

showLogs() {
    local log
    for log in "$scratch"/logs/*; do
        [ -s "$log" ] || continue
        say "--- ${log#"$scratch"/}"
        tail -n 15 "$log" >&2
    done
}

cleanup() {
    local status=$?
    trap - EXIT
    set +e
    [ -n "${job:-}" ] && scancel "$job" 2>/dev/null
    local processes deadline=$((SECONDS + 10))
    mapfile -t processes < <(markedProcesses)
    ((${#processes[@]} == 0)) || kill -TERM "${processes[@]}" 2>/dev/null
    while [ -n "$(markedProcesses)" ] && ((SECONDS < deadline)); do sleep 0.2; done
    mapfile -t processes < <(markedProcesses)
    ((${#processes[@]} == 0)) || kill -KILL "${processes[@]}" 2>/dev/null
    ((status == 0)) || showLogs
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
mkdir -p "$scratch"/{logs,state,spool,plates,local,farm}

# The program as a worker gets it: installed, then moved elsewhere.
cmake --install "$build" --prefix "$scratch/installed" >"$scratch/logs/install" ||
    fail "cmake --install $build failed"
mv "$scratch/installed" "$scratch/umbrix"
prefix=$scratch/umbrix
umbrix=$prefix/bin/umbrix
minihost=$(ldd "$umbrix" | sed -n 's/.*libminihost\.so => \(.*\) (0x.*/\1/p')
if [ -z "$minihost" ] || [ "$(realpath "$minihost")" != "$prefix/lib/umbrix/libminihost.so" ]; then
    fail "the moved program finds minihost at '$minihost', not in $prefix/lib/umbrix"
fi
"$umbrix" controls >/dev/null || fail "the moved program cannot load its tool library"

# Frames of different sizes, so that a frame written under another's number shows.
for ((frame = first; frame <= lastFrame; frame++)); do
    "$umbrix" demo --size "$((960 - 8 * (frame - first)))x540" -o "$scratch/demo" -q
    mv "$scratch/demo/demo.exr" "$scratch/plates/shot.$frame.exr"
done
say "rendering locally"
"$umbrix" render "$scratch/plates/shot.####.exr" -o "$scratch/local/shot.####.exr" \
    --frames "$first-$lastFrame" "${settings[@]}" -q

# The documented script, as it stands in the doc.
awk '/^## Slurm/ { inSection = 1 } inSection && /^```bash$/ { inScript = 1; next }
     inScript && /^```$/ { exit } inScript { print }' "$doc" >"$scratch/umbrix-slurm.sh"
grep -q SLURM_ARRAY_TASK_ID "$scratch/umbrix-slurm.sh" ||
    fail "no script using SLURM_ARRAY_TASK_ID in a bash block under '## Slurm' in $doc"

# Two free ports on this machine for the controller and the node daemon.
portIsFree() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=$((20000 + RANDOM % 40000))
until portIsFree "$port" && portIsFree "$((port + 1))"; do port=$((20000 + RANDOM % 40000)); done

host=$(uname -n)
host=${host%%.*}
cat >"$SLURM_CONF" <<EOF
ClusterName=umbrixtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$scratch/munge.socket,cred_expire=10
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/logs/slurmctld
SlurmdLogFile=$scratch/logs/slurmd
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
# Pending jobs looked at every second: a requeued task waits for its time, not for the next minute.
SchedulerParameters=sched_interval=1
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MaxArraySize=100000
ReturnToService=2
MailProg=/bin/true
MpiDefault=none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=umbrix Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF

mungekey --create --keyfile="$scratch/munge.key" 2>"$scratch/logs/mungekey" ||
    fail "mungekey cannot make a key: $(cat "$scratch/logs/mungekey")"
cluster munged --foreground --force --key-file="$scratch/munge.key" \
    --socket="$scratch/munge.socket" --pid-file="$scratch/munged.pid" \
    --seed-file="$scratch/munged.seed" --log-file="$scratch/logs/munged" >/dev/null 2>&1 &
waitFor 20 "munged to listen on $scratch/munge.socket" test -S "$scratch/munge.socket"
cluster slurmctld -D -i >"$scratch/logs/slurmctld.out" 2>&1 &
cluster slurmd -D -N "$host" >"$scratch/logs/slurmd.out" 2>&1 &
nodeIdle() { [ "$(sinfo -h -n "$host" -o %T 2>/dev/null)" = idle ]; }
waitFor 60 "the node to come up idle (see the logs below)" nodeIdle
say "cluster up on ports $port and $((port + 1))"

# The submission the doc shows, over this sequence; the tasks find the program on PATH.
job=$(cd "$scratch/logs" && PATH="$prefix/bin:$PATH" cluster sbatch --parsable \
    --array="$first-$lastFrame:$chunk" --output="$scratch/logs/task-%a" \
    "$scratch/umbrix-slurm.sh" "$chunk" "$lastFrame" \
    "$scratch/plates/shot.####.exr" "$scratch/farm/shot.####.exr" "${settings[@]}")
say "submitted job $job"

# Kill a task while it writes: stopped as soon as it holds a hidden temporary file open, killed
# only when the file is still there, so that the kill lands mid-write. Builtins only while looking,
# to be quicker than a frame's write. Sets `writer` and `temporary`.
findWriter() {
    local temporaries=("$scratch"/farm/.shot.*) process comm fd
    [ -e "${temporaries[0]}" ] || return 1
    for process in /proc/[0-9]*; do
        read -r comm 2>/dev/null <"$process/comm" || continue
        [ "$comm" = umbrix ] || continue
        for fd in "$process"/fd/*; do
            for temporary in "${temporaries[@]}"; do
                [ "$fd" -ef "$temporary" ] || continue
                writer=${process#/proc/}
                return 0
            done
        done
    done
    return 1
}
environmentOf() { tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | sed -n "s/^$2=//p"; }
jobDone() { [ -z "$(squeue -h -j "$job" 2>/dev/null)" ]; }
killed=""
deadline=$((SECONDS + 90))
checked=$SECONDS
until [ -n "$killed" ]; do
    ((SECONDS < deadline)) || fail "no task was caught writing a frame within 90 s"
    if ((SECONDS != checked)); then
        checked=$SECONDS
        jobDone && fail "every task ended before one could be caught writing a frame"
    fi
    if findWriter && kill -STOP "$writer" 2>/dev/null; then
        if [ -e "$temporary" ] && [ "$(environmentOf "$writer" UMBRIX_SLURM_TEST)" = "$scratch" ]; then
            killed=$(environmentOf "$writer" SLURM_ARRAY_TASK_ID)
            ran=$(readlink "/proc/$writer/exe")
            kill -KILL "$writer"
            [ "$ran" = "$umbrix" ] || fail "task $killed ran $ran, not the moved $umbrix"
            say "killed task $killed while it wrote ${temporary##*/}"
        else
            kill -CONT "$writer"
        fi
    fi
    sleep 0.01
done

taskEnded() {
    local state
    state=$(scontrol -o show job "${job}_$killed" | grep -o 'JobState=[A-Z_]*')
    [ "$state" != JobState=RUNNING ] && [ "$state" != JobState=COMPLETING ]
}
waitFor 30 "task $killed to end after its kill" taskEnded
scontrol requeue "${job}_$killed" || fail "scontrol requeue ${job}_$killed failed"
say "requeued task $killed"
waitFor 120 "every task of job $job to finish" jobDone

say "every task finished"
tasks=$(scontrol -o show job "$job")
chunks=$(((lastFrame - first) / chunk + 1))
[ "$(grep -c ArrayTaskId= <<<"$tasks")" -eq "$chunks" ] ||
    fail "expected $chunks tasks, Slurm shows: $tasks"
while read -r record; do
    grep -q 'JobState=COMPLETED' <<<"$record" ||
        fail "a task did not complete: $(grep -o 'ArrayTaskId=[0-9]* JobState=[A-Z_]*' <<<"$record")"
done <<<"$tasks"
grep -q "ArrayTaskId=$killed .*Restarts=1" <<<"$tasks" || fail "task $killed was not requeued once"

for ((frame = first; frame <= lastFrame; frame++)); do
    idiff -q -fail 0 -warn 0 "$scratch/local/shot.$frame.exr" "$scratch/farm/shot.$frame.exr" \
        >"$scratch/logs/idiff" 2>&1 || fail "frame $frame differs: $(cat "$scratch/logs/idiff")"
done
stale=$(find "$scratch/farm" -name '.*' -type f | wc -l)
[ "$stale" -eq 1 ] || fail "expected the killed task's one temporary file in the output, found $stale"
say "all $((lastFrame - first + 1)) frames equal to the local render; task $killed was killed and requeued"
