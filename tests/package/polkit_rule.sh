#!/usr/bin/env bash
# The package's polkit rule, judged by a real polkitd on a bus of this test's own: set-time is
# granted to a member of the group rivect in an active local session, and to nobody else.
# Everything it mounts (a group file, logind's session records, the rules folders) lives in a
# mount namespace of its own, so the machine's files are never touched. Exit 77: cannot run here.
set -uo pipefail
rule="$(cd "$(dirname "$0")/../.." && pwd)/packaging/rivect-polkit.rules"

if [ "${1:-}" != "--inside" ]; then
  command -v unshare >/dev/null && [ -x /usr/lib/polkit-1/polkitd ] && command -v pkcheck >/dev/null \
    || { echo "SKIP: needs unshare, polkitd and pkcheck"; exit 77; }
  [ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root to mount in a namespace of its own"; exit 77; }
  unshare --mount --propagation private -- true 2>/dev/null || { echo "SKIP: no mount namespace"; exit 77; }
  exec unshare --mount --propagation private -- bash "$0" --inside
fi

polkitd=""
bus=""
work=$(mktemp -d)
chmod 755 "$work"
trap 'kill $polkitd $bus 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cat > "$work/bus.conf" <<CONF
<busconfig><type>system</type><listen>unix:path=$work/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
<allow receive_sender="*"/></policy></busconfig>
CONF
dbus-daemon --nofork --config-file="$work/bus.conf" 2>/dev/null &
bus=$!
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"

# Only this rule, so nothing else grants or refuses.
mkdir -p "$work/rules" "$work/none" "$work/sessions" "$work/users"
cp "$rule" "$work/rules/60-rivect.rules"
mount --bind "$work/rules" /etc/polkit-1/rules.d
mount --bind "$work/none" /usr/share/polkit-1/rules.d
# Members: nobody, sys and sync; bin is none.
{ grep -v '^rivect:' /etc/group; echo "rivect:x:990:nobody,sys,sync"; } > "$work/group"
mount --bind "$work/group" /etc/group

# logind's records, as libsystemd reads them: a session per case, and each user's state.
session() {  # id uid active seat remote
  printf 'UID=%s\nACTIVE=%s\nSTATE=%s\nREMOTE=%s\nCLASS=user\nTYPE=tty\nSCOPE=session-%s.scope\n' \
    "$2" "$3" "$([ "$3" = 1 ] && echo active || echo online)" "$5" "$1" > "$work/sessions/$1"
  [ -n "$4" ] && echo "SEAT=$4" >> "$work/sessions/$1"
  printf 'STATE=%s\nSESSIONS=%s\n' "$([ "$3" = 1 ] && echo active || echo online)" "$1" > "$work/users/$2"
}
session c1 65534 1 seat0 0  # nobody at the pit PC
session c2 3 1 "" 1         # sys over SSH: no seat, remote
session c3 4 0 seat0 0      # sync at the PC, but another user's session is in front
session c4 2 1 seat0 0      # bin at the PC
mkdir -p /run/systemd
mount -t tmpfs logind /run/systemd
mkdir -p /run/systemd/sessions /run/systemd/users
cp "$work"/sessions/* /run/systemd/sessions/
cp "$work"/users/* /run/systemd/users/
# libsystemd finds a process's session from its cgroup: a unified hierarchy is mounted to be
# recognised, and each asking process is shown a cgroup file that puts it into its session.
mount -t cgroup2 none /sys/fs/cgroup 2>/dev/null || mount -t tmpfs none /sys/fs/cgroup

/usr/lib/polkit-1/polkitd --no-debug >"$work/polkitd.log" 2>&1 &
polkitd=$!
for _ in $(seq 300); do
  busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.PolicyKit1 >/dev/null 2>&1 && break
  sleep 0.1
done

# Each case asks about the asking process itself, as the client does; pkcheck exits 0 when
# granted, 1 when refused, 2 when only a password would do.
failed=0
ask() {
  local user=$1 session=$2 want=$3 got
  printf '0::/user.slice/session-%s.scope\n' "$session" > "$work/cgroup.$user"
  sh -c '[ "$2" = none ] || mount --bind "$3" /proc/$$/cgroup
         exec setpriv --reuid="$1" --regid=65534 --clear-groups \
           pkcheck --action-id org.freedesktop.timedate1.set-time --process $$' \
    sh "$user" "$session" "$work/cgroup.$user" >/dev/null 2>&1
  got=$?
  if { [ "$want" = granted ] && [ $got -eq 0 ]; } || { [ "$want" = refused ] && [ $got -ne 0 ] && [ $got -lt 3 ]; }; then
    echo "ok   $user in $session: $want"
  else
    echo "FAIL $user in $session: want $want, pkcheck said $got"
    failed=1
  fi
}
ask nobody c1 granted    # a member in an active local session
ask nobody none refused  # the same member outside any session (a cron job, a user service)
ask sys c2 refused       # a member over SSH
ask sync c3 refused      # a member whose local session is not the active one
ask bin c4 refused       # not a member, though at the PC
[ $failed -eq 0 ] || { echo "polkitd said:"; cat "$work/polkitd.log"; }
exit $failed
