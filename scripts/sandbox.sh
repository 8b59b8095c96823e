#!/usr/bin/env bash
# Runs a command where it can reach neither the network nor the clock: a network namespace of
# its own with only loopback up, CAP_SYS_TIME dropped, the system bus hidden, and /sys mounted
# afresh so the namespace sees its own interfaces.
set -euo pipefail

# Already inside (a script run from a sandboxed test): nothing more to take away.
if [ "${RIVECT_SANDBOX:-}" = "isolated" ] && [ "${1:-}" != "--inside" ]; then
  exec "$@"
fi

drop_time_and_bus() {
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/rivect-no-system-bus
  exec setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- "$@"
}

if [ "${1:-}" = "--inside" ]; then
  shift
  ip link set lo up
  if [ -d /run/dbus ]; then mount -t tmpfs -o size=1m tmpfs /run/dbus; fi
  umount -l /sys 2>/dev/null || true
  mount -t sysfs sysfs /sys 2>/dev/null || true
  export RIVECT_SANDBOX=isolated
  drop_time_and_bus "$@"
fi

if unshare --net --mount --propagation private -- true 2>/dev/null; then
  exec unshare --net --mount --propagation private -- bash "$0" --inside "$@"
fi

echo "##############################################################################" >&2
echo "sandbox: WARNING: network namespaces are refused here; tests run WITHOUT network" >&2
echo "sandbox: isolation. CAP_SYS_TIME is still dropped and the system bus hidden." >&2
echo "##############################################################################" >&2
export RIVECT_SANDBOX=not-isolated
drop_time_and_bus "$@"
