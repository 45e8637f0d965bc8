# A Slurm cluster of one node for tests, in a folder of its own: munged,
# slurmctld and slurmd from Debian, run as root, with a generated slurm.conf,
# a munge key and socket of its own and ports the kernel picked, so that
# several copies run side by side. Source this file, then:
#
#   slurm_cluster_start DIR   # starts the three daemons; exports SLURM_CONF
#   slurm_cluster_stop        # cancels the jobs and stops the daemons by pid
#
# Install slurm_cluster_stop in the caller's EXIT trap before starting, so
# that the daemons stop however the test ends.

slurm_cluster_pids=()

slurm_cluster_stop() {
  if [[ -n ${SLURM_CONF:-} ]] && ((${#slurm_cluster_pids[@]})); then
    scancel --quiet --user=root 2>/dev/null || true
    # Let slurmd end the jobs' steps before it goes.
    for _ in $(seq 50); do
      [[ -z $(squeue --noheader --states=RUNNING,COMPLETING 2>/dev/null) ]] && break
      sleep 0.2
    done
  fi
  local pid
  for ((i = ${#slurm_cluster_pids[@]} - 1; i >= 0; i--)); do
    pid=${slurm_cluster_pids[i]}
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  done
  slurm_cluster_pids=()
}

slurm_cluster_start() {
  local dir=$1 host ports
  host=$(hostname -s 2>/dev/null || uname -n)
  host=${host%%.*}
  mkdir -p "$dir/munge" "$dir/state" "$dir/spool"
  chmod 755 "$dir"
  head -c 1024 /dev/urandom >"$dir/munge/munge.key"
  chmod 400 "$dir/munge/munge.key"
  # Two free ports of the loopback, from the kernel.
  ports=$(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
  read -r ctld_port slurmd_port <<<"$ports"
  # cred_expire: a requeued job waits this long (plus one second) before it
  # runs again; the default of two minutes would make retries slow to test.
  cat >"$dir/slurm.conf" <<CONF
ClusterName=test$$
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket,cred_expire=5
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/builtin
SchedulerParameters=sched_interval=1
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
  export SLURM_CONF=$dir/slurm.conf
  munged --foreground --force --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
    --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed" \
    >"$dir/munged.out" 2>&1 &
  slurm_cluster_pids+=($!)
  for _ in $(seq 50); do
    [[ -S $dir/munge/munge.socket ]] && break
    sleep 0.1
  done
  slurmctld -D -f "$SLURM_CONF" >"$dir/slurmctld.out" 2>&1 &
  slurm_cluster_pids+=($!)
  slurmd -D -f "$SLURM_CONF" >"$dir/slurmd.out" 2>&1 &
  slurm_cluster_pids+=($!)
  for _ in $(seq 100); do
    [[ $(sinfo --noheader --format=%T 2>/dev/null) == idle ]] && return 0
    sleep 0.2
  done
  echo "the Slurm cluster in $dir did not come up:" >&2
  tail -n 20 "$dir"/*.log "$dir"/*.out "$dir/munge/munged.log" >&2 || true
  return 1
}
