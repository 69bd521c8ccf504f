#!/usr/bin/env bash
# Stops a long run of tubenest, by SIGINT or by its time limit, and checks that the plan it
# writes is sound and marked as stopped. A run that finishes before it is stopped must have a
# complete plan.
#   stop.sh TUBENEST E2E_TOOL WORK_DIR signal|time
set -u
tubenest=$1
tool=$2
work=$3
mode=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
"$tool" generate big.json 600 60 || exit 1

if [ "$mode" = signal ]; then
    "$tubenest" solve big.json --json plan.json >summary.txt 2>stderr.txt &
    pid=$!
    # A background job of a script starts with SIGINT ignored until the tool installs its handler;
    # a signal sent before that (a slow start on a loaded machine) would be lost. Wait for the
    # handler (bit 2 of SigCgt), then give the run a moment.
    for _ in $(seq 1 1200); do
        mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || break
        [ -z "$mask" ] && break
        (( (16#$mask & 2) != 0 )) && break
        sleep 0.05
    done
    sleep 0.3
    kill -INT "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
    accepted=interrupted,complete
else
    "$tubenest" solve big.json --time-limit 0.2 --json plan.json >summary.txt 2>stderr.txt
    rc=$?
    accepted=time_limit,complete
fi
cat stderr.txt
if [ "$rc" -ne 0 ] && [ "$rc" -ne 3 ]; then
    echo "FAIL: exit code $rc"
    exit 1
fi
status=$(sed -n 's/^  "status": "\([a-z_]*\)".*/\1/p' plan.json)
echo "status: $status, exit code $rc"
grep -q "^Plan: $status " summary.txt || { echo "FAIL: the summary is not marked $status"; exit 1; }
"$tool" check-plan big.json plan.json --rc "$rc" --status "$accepted" --complete-unless-stopped
