#!/usr/bin/env bash
# The refusals a run tells reach the Application event log, once a run: Wine keeps no event log,
# but its trace shows each event reported. Usage: event_log_test.sh EMULATOR TEST_EXE
set -uo pipefail
trace=$(RIVECT_COUNT_EVENTS=1 WINEDEBUG=warn+eventlog "$1" "$2" refusalsReachTheEventLogOnceARun 2>&1)
status=$?
events=$(grep -c 'warn:eventlog:ReportEventW L"rivect: .*marker' <<<"$trace")
echo "$trace" | grep -v fixme
echo "exit status $status, $events event(s) reported"
[ "$status" -eq 0 ] && [ "$events" -eq 2 ]
