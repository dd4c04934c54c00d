#!/usr/bin/env bash
# A one-node Slurm cluster for one command: slurm-cluster.sh FOLDER COMMAND [ARGS...]
#
# Starts munged, slurmctld and slurmd with their configuration, keys, sockets, logs and state in FOLDER,
# runs COMMAND (with SLURM_CONF set, in the current folder) once the node is idle, stops the daemons and
# exits with COMMAND's status. Everything runs in new PID, network, mount and UTS namespaces: the daemons
# listen only on that namespace's loopback, and when the namespace's first process ends (normally, or
# because the caller died and took `unshare --kill-child` with it) the kernel ends every process in it, so
# no daemon outlives the run. Needs root (namespaces; Slurm without cgroups runs its jobs as root).
set -euo pipefail

if [ "$#" -lt 2 ]; then
  echo "usage: $0 FOLDER COMMAND [ARGS...]" >&2
  exit 2
fi
work=$(realpath -m "$1")
shift

if [ "${QF_SLURM_NAMESPACE:-}" != 1 ]; then
  exec unshare --pid --fork --mount-proc --net --uts --kill-child \
    env QF_SLURM_NAMESPACE=1 bash "$0" "$work" "$@"
fi

node=qfnode
mkdir -p "$work"/{munge,state,spool,log}
chmod 700 "$work" "$work/munge"

# A step of the set-up that fails says which, with the daemons' logs: they are the only trace of why.
trap 'status=$?; echo "slurm-cluster: \"$BASH_COMMAND\" failed with status $status" >&2
      tail -n 15 "$work"/log/*.log >&2 2>/dev/null || true' ERR

# The namespace's own host name and loopback. Slurm resolves with AI_ADDRCONFIG, which ignores 127.0.0.1:
# a second loopback address stands in for a network.
hostname "$node"
ip link set lo up
ip addr add 10.254.254.1/32 dev lo
printf '127.0.0.1 localhost %s\n' "$node" > "$work/hosts"
mount --bind "$work/hosts" /etc/hosts

stop() {
  local status=$?
  for pidfile in "$work/slurmd.pid" "$work/slurmctld.pid" "$work/munge/munged.pid"; do
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  done
  exit "$status"
}
trap stop EXIT

mungekey --create --force --keyfile="$work/munge/munge.key"
chmod 600 "$work/munge/munge.key"
munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.socket" \
  --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/munged.seed" --log-file="$work/log/munged.log"

cat > "$work/slurm.conf" <<EOF
ClusterName=qfcluster
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=6817
SlurmdPort=6818
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/munge.socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
MpiDefault=none
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=local Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf

slurmctld -i
slurmd
for _ in $(seq 150); do
  if timeout 5 sinfo --noheader --format=%T 2>/dev/null | grep -qx idle; then
    break
  fi
  sleep 0.2
done
if ! timeout 5 sinfo --noheader --format=%T 2>/dev/null | grep -qx idle; then
  echo "slurm-cluster: the node did not come up; logs in $work/log" >&2
  exit 1
fi

trap - ERR
"$@"
